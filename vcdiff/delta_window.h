#pragma once

#include <cstddef>
#include <cstdint>

#include "vcdiff/code_table_reader.h"
#include "vcdiff/parse_cursor.h"

namespace vcdiff {

class VCDiffStreamingDecoderImpl;

// The delta window being decoded: its header (window_header.cpp) and its body
// (window_body.cpp). Decoded bytes are appended to the decoder's decoded target.
class VCDiffDeltaFileWindow {
public:
    void Init(VCDiffStreamingDecoderImpl* parent);

    // Forgets the current window; the next one starts at the decoded target's current end.
    void Reset();

    // Decodes one window from `chunk`, or the next part of an interleaved window whose header
    // was found with an earlier piece. RESULT_END_OF_DATA: the input at hand is not enough.
    int DecodeWindow(ParseCursor* chunk);

    bool FoundWindowHeader() const { return foundHeader_; }
    size_t TargetWindowLength() const { return targetWindowLength_; }
    size_t TargetWindowStart() const { return targetWindowStart_; }
    void SetTargetWindowStart(size_t start) { targetWindowStart_ = start; }
    // Bytes of the current window decoded so far.
    size_t TargetBytesDecoded() const;

private:
    // window_header.cpp
    int ReadHeader(ParseCursor* chunk);
    int SetUpWindowSections(ParseCursor* chunk, const char* headerEnd, size_t headerSize,
                            const char* deltaWindowEnd, size_t dataLength,
                            size_t instructionsLength, size_t addressesLength, bool interleaved);
    void SetUpInterleavedSection(const ParseCursor& chunk);

    // window_body.cpp
    int DecodeBody(ParseCursor* chunk);
    int DecodeAdd(size_t size);
    int DecodeRun(size_t size);
    int DecodeCopy(size_t size, int mode);
    void AppendSource(size_t offset, size_t length);
    int CopyFromTargetWindow(size_t offset, size_t size);
    bool ChecksumMatches() const;
    bool HasExcessInstructions() const;
    void MoveInstructionPointerForward(ParseCursor* chunk);

    VCDiffStreamingDecoderImpl* parent_ = nullptr;
    bool foundHeader_ = false;
    bool sourceIsDictionary_ = false;
    // Position in the dictionary, or offset in the decoded target with VCD_TARGET.
    size_t sourceSegmentStart_ = 0;
    size_t sourceSegmentLength_ = 0;

    // In an interleaved window the data and the addresses come from the instructions stream.
    ParseCursor instructions_;
    ParseCursor data_;
    ParseCursor addresses_;
    ParseCursor* dataSection_ = nullptr;
    ParseCursor* addressesSection_ = nullptr;
    bool interleaved_ = false;
    // Interleaved: bytes of the window's instructions section not consumed yet, and whether all
    // of them are in the input at hand.
    size_t interleavedBytesExpected_ = 0;
    bool interleavedRestAtHand_ = false;

    size_t targetWindowLength_ = 0;
    size_t targetWindowStart_ = 0;
    bool hasChecksum_ = false;
    uint32_t expectedChecksum_ = 0;

    VCDiffCodeTableReader reader_;
};

}  // namespace vcdiff
