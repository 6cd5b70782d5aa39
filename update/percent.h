// Percent of a step: done × 100 / total in unsigned 64-bit arithmetic, truncated, its low 32 bits
// taken as the percent. A total of 0 (nothing announced, nothing to extract) gives 0 instead of a
// division by zero; -1 would print as "-1%" in the status texts.
#pragma once

#include <cstdint>

inline int PercentOf(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 0;
    return static_cast<int>(static_cast<std::uint32_t>(done * 100 / total));
}
