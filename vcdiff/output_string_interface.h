#pragma once

#include <cstddef>

namespace vcdiff {

// Receiver of the decoded target. The decoder itself calls only append() and
// ReserveAdditionalBytes(); the other members complete a string-like interface.
class OutputStringInterface {
public:
    virtual ~OutputStringInterface() = default;
    virtual OutputStringInterface& append(const char* s, size_t n) = 0;
    virtual void clear() = 0;
    virtual void push_back(char c) = 0;
    // Announces that `n` more bytes will follow the ones written so far.
    virtual void ReserveAdditionalBytes(size_t n) = 0;
    virtual size_t size() const = 0;
};

}  // namespace vcdiff
