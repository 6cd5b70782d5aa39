#include "vcdiff/header_parser.h"

#include "vcdiff/diagnostics.h"
#include "vcdiff/varint.h"

namespace vcdiff {

bool VCDiffHeaderParser::Fail(int result) {
    result_ = result;
    return false;
}

bool VCDiffHeaderParser::ParseByte(unsigned char* value) {
    if (result_ != RESULT_SUCCESS) {
        return false;
    }
    if (cursor_.Empty()) {
        return Fail(RESULT_END_OF_DATA);
    }
    *value = static_cast<unsigned char>(*cursor_.position());
    cursor_.Advance(1);
    return true;
}

bool VCDiffHeaderParser::ParseInt32(const char* name, int32_t* value) {
    if (result_ != RESULT_SUCCESS) {
        return false;
    }
    switch (ParseVarint31(cursor_.PositionField(), cursor_.end(), value)) {
        case VarintStatus::kOk:
            return true;
        case VarintStatus::kEndOfData:
            return Fail(RESULT_END_OF_DATA);
        case VarintStatus::kInvalid:
            break;
    }
    LogError("Expected ", name, "; found invalid variable-length integer");
    return Fail(RESULT_ERROR);
}

bool VCDiffHeaderParser::ParseUInt32(const char* name, uint32_t* value) {
    if (result_ != RESULT_SUCCESS) {
        return false;
    }
    uint64_t wide = 0;
    switch (ParseVarint63(cursor_.PositionField(), cursor_.end(), &wide)) {
        case VarintStatus::kOk:
            break;
        case VarintStatus::kEndOfData:
            return Fail(RESULT_END_OF_DATA);
        case VarintStatus::kInvalid:
            LogError("Expected ", name, "; found invalid variable-length integer");
            return Fail(RESULT_ERROR);
    }
    if (wide > UINT32_MAX) {
        LogError("Value of ", name, "(", wide, ") is too large for unsigned 32-bit integer");
        return Fail(RESULT_ERROR);
    }
    *value = static_cast<uint32_t>(wide);
    return true;
}

bool VCDiffHeaderParser::ParseSourceSegmentLengthAndPosition(size_t limit, const char* boundaryName,
                                                             const char* objectName, size_t* length,
                                                             size_t* position) {
    int32_t segmentLength = 0;
    if (!ParseInt32("source segment length", &segmentLength)) {
        return false;
    }
    const size_t len = static_cast<size_t>(segmentLength);
    if (len > limit) {
        LogError("Source segment length (", len, ") is larger than ", objectName, " (", limit, ")");
        return Fail(RESULT_ERROR);
    }
    int32_t segmentPosition = 0;
    if (!ParseInt32("source segment position", &segmentPosition)) {
        return false;
    }
    const size_t pos = static_cast<size_t>(segmentPosition);
    if (pos >= limit && len > 0) {
        LogError("Source segment position (", pos, ") is past ", boundaryName, " (", limit, ")");
        return Fail(RESULT_ERROR);
    }
    if (pos + len > limit) {
        LogError("Source segment end position (", pos + len, ") is past ", boundaryName, " (",
                 limit, ")");
        return Fail(RESULT_ERROR);
    }
    *length = len;
    *position = pos;
    return true;
}

bool VCDiffHeaderParser::ParseWindowLengths(size_t* targetWindowLength) {
    if (deltaEncodingStart_ != nullptr) {
        LogFatal(
            "Internal error: VCDiffHeaderParser::ParseWindowLengths was called twice for the same "
            "delta window");
        return Fail(RESULT_ERROR);
    }
    int32_t deltaEncodingLength = 0;
    if (!ParseInt32("length of the delta encoding", &deltaEncodingLength)) {
        return false;
    }
    deltaEncodingLength_ = static_cast<size_t>(deltaEncodingLength);
    deltaEncodingStart_ = cursor_.position();
    int32_t windowLength = 0;
    if (!ParseInt32("size of the target window", &windowLength)) {
        return false;
    }
    *targetWindowLength = static_cast<size_t>(windowLength);
    return true;
}

const char* VCDiffHeaderParser::GetDeltaWindowEnd() const {
    if (deltaEncodingStart_ == nullptr) {
        LogFatal(
            "Internal error: VCDiffHeaderParser::GetDeltaWindowEnd was called before "
            "ParseWindowLengths");
        return nullptr;
    }
    return deltaEncodingStart_ + deltaEncodingLength_;
}

bool VCDiffHeaderParser::ParseSectionLengths(bool hasChecksum, SectionLengths* lengths,
                                             uint32_t* checksum) {
    if (deltaEncodingStart_ == nullptr) {
        LogFatal(
            "Internal error: VCDiffHeaderParser::ParseSectionLengths was called before "
            "ParseWindowLengths");
        return Fail(RESULT_ERROR);
    }
    int32_t data = 0;
    int32_t instructions = 0;
    int32_t addresses = 0;
    ParseInt32("length of data for ADDs and RUNs", &data);
    ParseInt32("length of instructions section", &instructions);
    ParseInt32("length of addresses for COPYs", &addresses);
    if (hasChecksum) {
        ParseUInt32("Adler32 checksum value", checksum);
    }
    if (result_ != RESULT_SUCCESS) {
        return false;
    }
    // Each length is below 2^31, so this sum cannot wrap; a file whose lengths only match modulo
    // 2^32 is refused here.
    const uint64_t headerBytes = static_cast<uint64_t>(cursor_.position() - deltaEncodingStart_);
    const uint64_t total = headerBytes + static_cast<uint64_t>(data) +
                           static_cast<uint64_t>(instructions) + static_cast<uint64_t>(addresses);
    if (total != deltaEncodingLength_) {
        LogError(
            "The length of the delta encoding does not match the size of the header plus the "
            "sizes of the data sections");
        return Fail(RESULT_ERROR);
    }
    lengths->addRunData = static_cast<size_t>(data);
    lengths->instructions = static_cast<size_t>(instructions);
    lengths->copyAddresses = static_cast<size_t>(addresses);
    return true;
}

}  // namespace vcdiff
