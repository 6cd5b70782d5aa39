#include "vcdiff/parse_cursor.h"

#include "vcdiff/diagnostics.h"

namespace vcdiff {

void ParseCursor::AdvancePastEnd(size_t n) {
    LogFatal("Internal error: position advanced by ", n, " bytes, current unparsed size ",
             UnparsedSize());
    position_ = end_;
}

void ParseCursor::SetPositionOutside(const char* position) {
    if (position < start_) {
        LogFatal("Internal error: new data position ", static_cast<const void*>(position),
                 " is beyond start of data ", static_cast<const void*>(start_));
        position_ = start_;
    } else {
        LogFatal("Internal error: new data position ", static_cast<const void*>(position),
                 " is beyond end of data ", static_cast<const void*>(end_));
        position_ = end_;
    }
}

}  // namespace vcdiff
