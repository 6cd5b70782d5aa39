#pragma once

#include <cstdint>

namespace vcdiff {

enum class VarintStatus { kOk, kInvalid, kEndOfData };

// Reads a variable-length integer of RFC 3284 section 2 (seven bits a byte, most significant group
// first, high bit set on every byte but the last) from [*position, end). Before each further
// group the value must not exceed kBound, which keeps the result below 2^31 (kBound 0xFFFFFF) or
// 2^63 (kBound 0xFFFFFFFFFFFFFF). *position moves past the integer only when it is complete and
// valid; input that ends inside it is kEndOfData, never an error.
template <uint64_t kBound>
inline VarintStatus ParseVarint(const char** position, const char* end, uint64_t* value) {
    uint64_t result = 0;
    for (const char* p = *position; p != end; ++p) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        result += byte & 0x7F;
        if ((byte & 0x80) == 0) {
            *value = result;
            *position = p + 1;
            return VarintStatus::kOk;
        }
        if (result > kBound) {
            return VarintStatus::kInvalid;
        }
        result <<= 7;
    }
    return VarintStatus::kEndOfData;
}

inline constexpr uint64_t kVarint31Bound = 0xFFFFFF;
inline constexpr uint64_t kVarint63Bound = 0xFFFFFFFFFFFFFF;

inline VarintStatus ParseVarint31(const char** position, const char* end, int32_t* value) {
    uint64_t wide = 0;
    const VarintStatus status = ParseVarint<kVarint31Bound>(position, end, &wide);
    if (status == VarintStatus::kOk) {
        *value = static_cast<int32_t>(wide);
    }
    return status;
}

}  // namespace vcdiff
