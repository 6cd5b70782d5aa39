#pragma once

#include <cstdint>

#include "vcdiff/output_string_interface.h"

namespace vcdiff {

// Adapts a caller's string-like object to OutputStringInterface. T provides append(const char*,
// size_t), clear(), push_back(char), reserve(size_t) and size(); std::string qualifies, and so
// does the engine's file-backed target. The adapter does not own the object.
template <class T>
class OutputString : public OutputStringInterface {
public:
    explicit OutputString(T* target) : target_(target) {}

    OutputString& append(const char* s, size_t n) override {
        target_->append(s, n);
        return *this;
    }

    void clear() override { target_->clear(); }

    void push_back(char c) override { target_->push_back(c); }

    // Targets are limited to 32-bit sizes, so the announced total is too.
    void ReserveAdditionalBytes(size_t n) override {
        target_->reserve(static_cast<uint32_t>(target_->size() + n));
    }

    size_t size() const override { return target_->size(); }

private:
    T* target_;
};

}  // namespace vcdiff
