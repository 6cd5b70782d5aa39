#pragma once

#include <cstddef>
#include <cstdint>

#include "vcdiff/decode_result.h"
#include "vcdiff/parse_cursor.h"

namespace vcdiff {

// Lengths of a window's three sections as its header gives them.
struct SectionLengths {
    size_t addRunData = 0;
    size_t instructions = 0;
    size_t copyAddresses = 0;
};

// Reads the fields of one window header from the input at hand. Once a read fails, every later
// read fails too and GetResult() tells why; the caller's cursor is only moved on success.
class VCDiffHeaderParser {
public:
    VCDiffHeaderParser(const char* start, const char* end) : cursor_(start, end) {}

    int GetResult() const { return result_; }
    const char* UnparsedData() const { return cursor_.position(); }
    size_t UnparsedSize() const { return cursor_.UnparsedSize(); }
    size_t ParsedSize() const { return cursor_.ParsedSize(); }

    bool ParseByte(unsigned char* value);
    // 31-bit integer: every length, size and position of the header.
    bool ParseInt32(const char* name, int32_t* value);
    // 63-bit integer that must fit 32 bits: the Adler-32 field.
    bool ParseUInt32(const char* name, uint32_t* value);

    // Reads the length and position of the source segment and checks them against `limit`
    // (the source's size, or the target decoded so far).
    bool ParseSourceSegmentLengthAndPosition(size_t limit, const char* boundaryName,
                                             const char* objectName, size_t* length,
                                             size_t* position);

    // Reads the length of the delta encoding and the size of the target window.
    bool ParseWindowLengths(size_t* targetWindowLength);
    // The first byte past the window, or NULL before ParseWindowLengths.
    const char* GetDeltaWindowEnd() const;
    // Reads the three section lengths (and the checksum when `hasChecksum`) and checks that the
    // header and the sections add up to the length of the delta encoding.
    bool ParseSectionLengths(bool hasChecksum, SectionLengths* lengths, uint32_t* checksum);

private:
    bool Fail(int result);

    ParseCursor cursor_;
    int result_ = RESULT_SUCCESS;
    size_t deltaEncodingLength_ = 0;
    const char* deltaEncodingStart_ = nullptr;
};

}  // namespace vcdiff
