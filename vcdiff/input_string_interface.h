#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vcdiff {

// Read access to the source a delta was made against (the dictionary). The decoder never holds
// the source in memory: it asks for the byte ranges that COPY instructions name.
class InputStringInterface {
public:
    virtual ~InputStringInterface() = default;

    // Appends exactly `length` bytes of the source, starting at `position`, to `*out`. The decoder
    // passes its own decoded target as `out` and only asks for ranges inside the source segment
    // that the window header accepted, so `position + length` never exceeds size().
    virtual void read(std::string* out, size_t position, size_t length) = 0;

    // Length of the source in bytes; the decoder uses the low 32 bits.
    virtual uint64_t size() const = 0;
};

}  // namespace vcdiff
