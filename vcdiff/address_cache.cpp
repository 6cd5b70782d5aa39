#include "vcdiff/address_cache.h"

#include "vcdiff/diagnostics.h"

namespace vcdiff {

bool VCDiffAddressCache::Init() {
    near_.fill(0);
    same_.fill(0);
    nextSlot_ = 0;
    return true;
}

int VCDiffAddressCache::ReportNegativeHere(int64_t here) {
    LogFatal("DecodeAddress was passed a negative value for here_address: ",
             static_cast<int32_t>(static_cast<uint32_t>(here)));
    return RESULT_ERROR;
}

int VCDiffAddressCache::ReportInvalidMode(int mode) {
    LogFatal("Invalid mode value (", mode,
             ") passed to DecodeAddress; maximum mode value = ", kLastMode);
    return RESULT_ERROR;
}

int VCDiffAddressCache::ReportInvalidInteger() {
    LogError("Found invalid variable-length integer as encoded address value");
    return RESULT_ERROR;
}

int VCDiffAddressCache::ReportInvalidAddress(int64_t address, int64_t here) {
    if (address < 0) {
        LogError("Decoded address ", address, " is invalid");
    } else {
        LogError("Decoded address (", address, ") is beyond location in target file (", here, ")");
    }
    return RESULT_ERROR;
}

}  // namespace vcdiff
