// libFuzzer target: arbitrary bytes as a delta file against a small fixed source. Besides the
// sanitizers' findings it checks that a delta decodes to the same bytes whole and in pieces.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vcdiff/streaming_decoder.h"

namespace {

const std::string& FixedSource() {
    static const std::string source = [] {
        std::string text;
        for (int i = 0; i < 4; ++i) {
            text += "The quick brown fox jumps over the lazy dog. 0123456789 ";
        }
        return text;
    }();
    return source;
}

struct Source {
    void ReadRange(std::string* out, size_t position, size_t length) {
        if (position > FixedSource().size() || length > FixedSource().size() - position) {
            std::abort();  // the decoder asked for a range outside the source
        }
        out->append(FixedSource(), position, length);
    }
    uint64_t GetLength() const { return FixedSource().size(); }
};

struct Outcome {
    bool finished = false;
    std::string target;
};

Outcome Decode(const char* data, size_t size, size_t piece, bool allowVcdTarget) {
    Source source;
    Outcome outcome;
    vcdiff::VCDiffStreamingDecoder decoder;
    decoder.SetAllowVcdTarget(allowVcdTarget);
    decoder.StartDecoding(&source);
    decoder.SetMaximumTargetWindowSize(1 << 20);
    decoder.SetMaximumTargetFileSize(4 << 20);
    for (size_t at = 0; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        if (!decoder.DecodeChunk(data + at, n, &outcome.target)) {
            return outcome;
        }
    }
    outcome.finished = decoder.FinishDecoding();
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const char* data = reinterpret_cast<const char*>(bytes);
    const bool allowVcdTarget = size % 2 == 1;
    const Outcome whole = Decode(data, size, size == 0 ? 1 : size, allowVcdTarget);
    const Outcome pieces = Decode(data, size, 1 + size % 7, allowVcdTarget);
    if (whole.finished != pieces.finished || (whole.finished && whole.target != pieces.target)) {
        std::abort();  // the result depends on how the delta was cut into pieces
    }
    return 0;
}
