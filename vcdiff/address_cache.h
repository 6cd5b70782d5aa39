#pragma once

#include <array>
#include <cstdint>

#include "vcdiff/decode_result.h"
#include "vcdiff/parse_cursor.h"

namespace vcdiff {

// The COPY address cache of RFC 3284 section 5.3 with the default sizes: modes 0 SELF, 1 HERE,
// 2 to 5 near (entry mode - 2), 6 to 8 same (block mode - 6).
class VCDiffAddressCache {
public:
    static constexpr int kNearCacheSize = 4;
    static constexpr int kSameCacheSize = 3;
    static constexpr int kFirstNearMode = 2;
    static constexpr int kFirstSameMode = kFirstNearMode + kNearCacheSize;
    static constexpr int kLastMode = kFirstSameMode + kSameCacheSize - 1;

    // Empties both caches; run at the start of every window.
    bool Init();

    // Decodes the address of a COPY at `here` (source segment length plus the bytes decoded in
    // this window) from `addresses`. On success the address bytes are consumed and the cache
    // updated. RESULT_END_OF_DATA consumes nothing.
    int DecodeAddress(int64_t here, int mode, ParseCursor* addresses, int32_t* address);

private:
    void UpdateCache(int32_t address);

    int nextSlot_ = 0;
    std::array<int32_t, kNearCacheSize> near_{};
    std::array<int32_t, kSameCacheSize * 256> same_{};
};

}  // namespace vcdiff
