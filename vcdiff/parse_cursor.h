#pragma once

#include <cstddef>

namespace vcdiff {

// A read position inside a byte range the decoder does not own.
class ParseCursor {
public:
    ParseCursor() = default;
    ParseCursor(const char* start, const char* end) { Init(start, end); }

    void Init(const char* start, const char* end) {
        start_ = start;
        end_ = end;
        position_ = start;
    }

    const char* start() const { return start_; }
    const char* end() const { return end_; }
    const char* position() const { return position_; }
    size_t UnparsedSize() const { return static_cast<size_t>(end_ - position_); }
    size_t ParsedSize() const { return static_cast<size_t>(position_ - start_); }
    bool Empty() const { return position_ == end_; }

    // The instruction reader moves the position in place while it decodes.
    const char** PositionField() { return &position_; }

    // Moving outside the range is an internal error; the position is then clamped to it.
    void Advance(size_t n) {
        if (n > UnparsedSize()) {
            AdvancePastEnd(n);
            return;
        }
        position_ += n;
    }
    void SetPosition(const char* position) {
        if (position < start_ || position > end_) {
            SetPositionOutside(position);
            return;
        }
        position_ = position;
    }

private:
    void AdvancePastEnd(size_t n);
    void SetPositionOutside(const char* position);

    const char* start_ = nullptr;
    const char* end_ = nullptr;
    const char* position_ = nullptr;
};

}  // namespace vcdiff
