#pragma once

#include <cstddef>
#include <cstdint>

namespace vcdiff {

enum class VarintStatus { kOk, kInvalid, kEndOfData };

// Reads a variable-length integer of RFC 3284 section 2 (seven bits a byte, most significant group
// first, high bit set on every byte but the last) from [*position, end). Before each further
// group the value must not exceed kBound, which keeps the result below 2^31 (kBound 0xFFFFFF) or
// 2^63 (kBound 0xFFFFFFFFFFFFFF). *position moves past the integer only when it is complete and
// valid; input that ends inside it is kEndOfData, never an error.
//
// Leading zero groups (0x80 bytes) leave the value at 0, so the bound alone would let an integer
// run on without end; an unfinished one is parsed again from its start with every piece of input,
// which makes a long run cost quadratic time. So an integer may also take at most kMaxBytes bytes
// (5 for 31 bits, 10 for 63 bits): a byte that still announces another one at that length makes
// it invalid at once.
template <uint64_t kBound, size_t kMaxBytes>
inline VarintStatus ParseVarint(const char** position, const char* end, uint64_t* value) {
    uint64_t result = 0;
    size_t length = 0;
    for (const char* p = *position; p != end; ++p) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        result += byte & 0x7F;
        ++length;
        if ((byte & 0x80) == 0) {
            *value = result;
            *position = p + 1;
            return VarintStatus::kOk;
        }
        if (result > kBound || length == kMaxBytes) {
            return VarintStatus::kInvalid;
        }
        result <<= 7;
    }
    return VarintStatus::kEndOfData;
}

inline VarintStatus ParseVarint31(const char** position, const char* end, int32_t* value) {
    uint64_t wide = 0;
    const VarintStatus status = ParseVarint<0xFFFFFF, 5>(position, end, &wide);
    if (status == VarintStatus::kOk) {
        *value = static_cast<int32_t>(wide);
    }
    return status;
}

inline VarintStatus ParseVarint63(const char** position, const char* end, uint64_t* value) {
    return ParseVarint<0xFFFFFFFFFFFFFF, 10>(position, end, value);
}

}  // namespace vcdiff
