#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vcdiff/output_string_interface.h"

namespace vcdiff_test {

// An in-memory source that counts what the decoder reads.
class StringSource {
public:
    explicit StringSource(std::string bytes) : bytes_(std::move(bytes)) {}
    void ReadRange(std::string* out, size_t position, size_t length);
    uint64_t GetLength() const { return bytes_.size(); }
    size_t bytesRead() const { return bytesRead_; }
    size_t reads() const { return reads_; }

private:
    std::string bytes_;
    size_t bytesRead_ = 0;
    size_t reads_ = 0;
};

// Records every call the decoder makes on its output, e.g. "reserve 10", "append 3".
class RecordingOutput : public vcdiff::OutputStringInterface {
public:
    RecordingOutput& append(const char* s, size_t n) override;
    void clear() override { bytes.clear(); }
    void push_back(char c) override { bytes.push_back(c); }
    void ReserveAdditionalBytes(size_t n) override;
    size_t size() const override { return bytes.size(); }

    std::string bytes;
    std::vector<std::string> calls;
};

struct DecodeOutcome {
    bool chunksAccepted = true;  // every DecodeChunk returned true
    bool finished = false;       // FinishDecoding returned true
    size_t bytesFed = 0;         // delta bytes given to DecodeChunk, the refused piece included
    std::string target;
    std::string errors;  // what the decoder wrote to standard error
};

struct DecodeOptions {
    size_t pieceSize = 0;  // 0: the whole delta in one piece
    bool allowVcdTarget = false;
    size_t maximumWindowSize = 0;  // 0: the decoder's default
    size_t maximumFileSize = 0xFFFFFFFF;
};

// Feeds `delta` to a new decoder against `source` the way the engine does and collects what it
// produced and said. Stops feeding after the first refused piece.
DecodeOutcome Decode(const std::string& delta, const std::string& source,
                     const DecodeOptions& options = {});

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace vcdiff_test
