#include "tests/vcdiff/decode_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "vcdiff/streaming_decoder.h"

namespace vcdiff_test {

void StringSource::ReadRange(std::string* out, size_t position, size_t length) {
    if (position > bytes_.size() || length > bytes_.size() - position) {
        throw std::out_of_range("read past the end of the test source");
    }
    out->append(bytes_, position, length);
    bytesRead_ += length;
    ++reads_;
}

RecordingOutput& RecordingOutput::append(const char* s, size_t n) {
    bytes.append(s, n);
    calls.push_back("append " + std::to_string(n));
    return *this;
}

void RecordingOutput::ReserveAdditionalBytes(size_t n) {
    calls.push_back("reserve " + std::to_string(n));
}

DecodeOutcome Decode(const std::string& delta, const std::string& source,
                     const DecodeOptions& options) {
    DecodeOutcome outcome;
    StringSource dictionary(source);
    testing::internal::CaptureStderr();
    {
        vcdiff::VCDiffStreamingDecoder decoder;
        decoder.SetAllowVcdTarget(options.allowVcdTarget);
        decoder.StartDecoding(&dictionary);
        decoder.SetMaximumTargetFileSize(options.maximumFileSize);
        if (options.maximumWindowSize != 0) {
            decoder.SetMaximumTargetWindowSize(options.maximumWindowSize);
        }
        const size_t piece =
            options.pieceSize == 0 ? std::max<size_t>(delta.size(), 1) : options.pieceSize;
        for (size_t at = 0; at < delta.size(); at += piece) {
            const size_t n = std::min(piece, delta.size() - at);
            outcome.bytesFed += n;
            if (!decoder.DecodeChunk(delta.data() + at, n, &outcome.target)) {
                outcome.chunksAccepted = false;
                break;
            }
        }
        // The engine gives up on a refused piece without finishing the decoder.
        outcome.finished = outcome.chunksAccepted && decoder.FinishDecoding();
    }
    outcome.errors = testing::internal::GetCapturedStderr();
    return outcome;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace vcdiff_test
