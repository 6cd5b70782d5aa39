#include "vcdiff/address_cache.h"

#include <cstdint>

#include "vcdiff/diagnostics.h"
#include "vcdiff/varint.h"

namespace vcdiff {

bool VCDiffAddressCache::Init() {
    near_.fill(0);
    same_.fill(0);
    nextSlot_ = 0;
    return true;
}

void VCDiffAddressCache::UpdateCache(int32_t address) {
    near_[nextSlot_] = address;
    nextSlot_ = (nextSlot_ + 1) % kNearCacheSize;
    same_[address % (kSameCacheSize * 256)] = address;
}

int VCDiffAddressCache::DecodeAddress(int64_t here, int mode, ParseCursor* addresses,
                                      int32_t* address) {
    // `here` is a signed 32-bit quantity; a larger one cannot be addressed.
    if (here < 0 || here > INT32_MAX) {
        LogFatal("DecodeAddress was passed a negative value for here_address: ",
                 static_cast<int32_t>(static_cast<uint32_t>(here)));
        return RESULT_ERROR;
    }
    if (addresses->Empty()) {
        return RESULT_END_OF_DATA;
    }
    const char* next = addresses->position();
    int64_t decoded = 0;
    if (mode >= kFirstSameMode) {
        if (mode > kLastMode) {
            LogFatal("Invalid mode value (", mode,
                     ") passed to DecodeAddress; maximum mode value = ", kLastMode);
            return RESULT_ERROR;
        }
        const unsigned char byte = static_cast<unsigned char>(*next++);
        decoded = same_[(mode - kFirstSameMode) * 256 + byte];
    } else {
        int32_t value = 0;
        switch (ParseVarint31(&next, addresses->end(), &value)) {
            case VarintStatus::kInvalid:
                LogError("Found invalid variable-length integer as encoded address value");
                return RESULT_ERROR;
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
    if (decoded < 0) {
        LogError("Decoded address ", decoded, " is invalid");
        return RESULT_ERROR;
    }
    if (decoded >= here) {
        LogError("Decoded address (", decoded, ") is beyond location in target file (", here, ")");
        return RESULT_ERROR;
    }
    addresses->SetPosition(next);
    *address = static_cast<int32_t>(decoded);
    UpdateCache(*address);
    return RESULT_SUCCESS;
}

}  // namespace vcdiff
