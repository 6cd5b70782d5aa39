#pragma once

#include <array>
#include <cstdint>

#include "vcdiff/decode_result.h"
#include "vcdiff/parse_cursor.h"
#include "vcdiff/varint.h"

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
    void UpdateCache(int32_t address) {
        near_[nextSlot_] = address;
        nextSlot_ = (nextSlot_ + 1) % kNearCacheSize;
        same_[address % (kSameCacheSize * 256)] = address;
    }
    int ReportNegativeHere(int64_t here);
    int ReportInvalidMode(int mode);
    int ReportInvalidInteger();
    int ReportInvalidAddress(int64_t address, int64_t here);

    int nextSlot_ = 0;
    std::array<int32_t, kNearCacheSize> near_{};
    std::array<int32_t, kSameCacheSize * 256> same_{};
};

// Inline: it runs once per COPY.
inline int VCDiffAddressCache::DecodeAddress(int64_t here, int mode, ParseCursor* addresses,
                                             int32_t* address) {
    // `here` is a signed 32-bit quantity; a larger one cannot be addressed.
    if (here < 0 || here > INT32_MAX) {
        return ReportNegativeHere(here);
    }
    if (addresses->Empty()) {
        return RESULT_END_OF_DATA;
    }
    const char* next = addresses->position();
    int64_t decoded = 0;
    if (mode >= kFirstSameMode) {
        if (mode > kLastMode) {
            return ReportInvalidMode(mode);
        }
        const unsigned char byte = static_cast<unsigned char>(*next++);
        decoded = same_[(mode - kFirstSameMode) * 256 + byte];
    } else {
        int32_t value = 0;
        switch (ParseVarint31(&next, addresses->end(), &value)) {
            case VarintStatus::kInvalid:
                return ReportInvalidInteger();
            case VarintStatus::kEndOfData:
                return RESULT_END_OF_DATA;
            case VarintStatus::kOk:
                break;
        }
        if (mode == 0) {
            decoded = value;
        } else if (mode == 1) {
            decoded = here - value;
        } else {
            decoded = static_cast<int64_t>(near_[mode - kFirstNearMode]) + value;
        }
    }
    if (decoded < 0 || decoded >= here) {
        return ReportInvalidAddress(decoded, here);
    }
    addresses->SetPosition(next);
    *address = static_cast<int32_t>(decoded);
    UpdateCache(*address);
    return RESULT_SUCCESS;
}

}  // namespace vcdiff
