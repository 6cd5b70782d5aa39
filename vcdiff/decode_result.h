#pragma once

namespace vcdiff {

// Results of the decoder's parse steps.
enum DecodeResult {
    RESULT_SUCCESS = 0,
    RESULT_ERROR = -1,        // the delta file is bad or a limit is exceeded
    RESULT_END_OF_DATA = -2,  // more input is needed before the step can finish
};

}  // namespace vcdiff
