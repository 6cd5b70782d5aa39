#pragma once

#include <cstdint>
#include <string>

#include "vcdiff/input_string_interface.h"

namespace vcdiff {

// Adapts a caller's source object to InputStringInterface. T provides
//   ReadRange(std::string* out, position, length)  -- appends exactly `length` bytes at `position`
//   GetLength() const                               -- the source's length in bytes
// The adapter does not own the object; destroying the adapter leaves it (and its file) open.
template <class T>
class InputString : public InputStringInterface {
public:
    explicit InputString(T* source) : source_(source) {}

    void read(std::string* out, size_t position, size_t length) override {
        source_->ReadRange(out, position, length);
    }

    uint64_t size() const override { return static_cast<uint64_t>(source_->GetLength()); }

private:
    T* source_;
};

}  // namespace vcdiff
