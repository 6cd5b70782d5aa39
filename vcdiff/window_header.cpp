// Window header parsing (RFC 3284 section 4.2, plus the checksum field of the 'S' format) and
// the layout of the window's sections.

#include <algorithm>

#include "vcdiff/decode_result.h"
#include "vcdiff/decoder_impl.h"
#include "vcdiff/delta_window.h"
#include "vcdiff/diagnostics.h"
#include "vcdiff/header_parser.h"

namespace vcdiff {

namespace {

constexpr unsigned char VCD_SOURCE = 0x01;
constexpr unsigned char VCD_TARGET = 0x02;
constexpr unsigned char VCD_CHECKSUM = 0x04;
constexpr unsigned char kSecondaryCompressionBits = 0x07;

}  // namespace

void VCDiffDeltaFileWindow::Init(VCDiffStreamingDecoderImpl* parent) { parent_ = parent; }

void VCDiffDeltaFileWindow::Reset() {
    foundHeader_ = false;
    targetWindowStart_ = parent_ != nullptr ? parent_->DecodedTarget().size() : 0;
    targetWindowLength_ = 0;
    sourceIsDictionary_ = false;
    sourceSegmentStart_ = 0;
    sourceSegmentLength_ = 0;
    instructions_ = ParseCursor();
    data_ = ParseCursor();
    addresses_ = ParseCursor();
    dataSection_ = nullptr;
    addressesSection_ = nullptr;
    interleaved_ = false;
    interleavedBytesExpected_ = 0;
    interleavedRestAtHand_ = false;
    hasChecksum_ = false;
    expectedChecksum_ = 0;
}

size_t VCDiffDeltaFileWindow::TargetBytesDecoded() const {
    const size_t decoded = parent_->DecodedTarget().size();
    return decoded > targetWindowStart_ ? decoded - targetWindowStart_ : 0;
}

int VCDiffDeltaFileWindow::ReadHeader(ParseCursor* chunk) {
    // Asked at every parse, whatever the window's source, so that a source that cannot tell its
    // size fails the decode at the first window.
    const size_t dictionarySize = static_cast<uint32_t>(parent_->Dictionary()->size());
    VCDiffHeaderParser parser(chunk->position(), chunk->end());
    unsigned char winIndicator = 0;
    if (!parser.ParseByte(&winIndicator)) {
        return parser.GetResult();
    }
    size_t segmentLength = 0;
    size_t segmentPosition = 0;
    switch (winIndicator & (VCD_SOURCE | VCD_TARGET)) {
        case VCD_SOURCE: {
            if (!parser.ParseSourceSegmentLengthAndPosition(dictionarySize, "end of dictionary",
                                                            "dictionary", &segmentLength,
                                                            &segmentPosition)) {
                return parser.GetResult();
            }
            break;
        }
        case VCD_TARGET:
            if (!parent_->AllowVcdTarget()) {
                LogError(
                    "Delta file contains VCD_TARGET flag, which is not allowed by current decoder "
                    "settings");
                return RESULT_ERROR;
            }
            if (!parser.ParseSourceSegmentLengthAndPosition(
                    parent_->DecodedTarget().size(), "current target position", "target file",
                    &segmentLength, &segmentPosition)) {
                return parser.GetResult();
            }
            break;
        case VCD_SOURCE | VCD_TARGET:
            LogError("Win_Indicator must not have both VCD_SOURCE and VCD_TARGET set");
            return RESULT_ERROR;
        default:
            break;
    }
    const bool hasChecksum =
        parent_->VersionCode() == VCDiffStreamingDecoderImpl::kVersionInterleaved &&
        (winIndicator & VCD_CHECKSUM) != 0;

    size_t windowLength = 0;
    if (!parser.ParseWindowLengths(&windowLength)) {
        return parser.GetResult();
    }
    // Kept even while the rest of the header has not arrived: the output is told how much of
    // this window is still to come.
    targetWindowLength_ = windowLength;
    if (parent_->TargetWindowWouldExceedSizeLimits(windowLength)) {
        return RESULT_ERROR;
    }
    unsigned char deltaIndicator = 0;
    if (!parser.ParseByte(&deltaIndicator)) {
        return parser.GetResult();
    }
    if (deltaIndicator & kSecondaryCompressionBits) {
        LogError("Secondary compression of delta file sections is not supported");
        return RESULT_ERROR;
    }
    SectionLengths lengths;
    uint32_t checksum = 0;
    if (!parser.ParseSectionLengths(hasChecksum, &lengths, &checksum)) {
        return parser.GetResult();
    }

    const bool interleaved =
        parent_->VersionCode() == VCDiffStreamingDecoderImpl::kVersionInterleaved &&
        lengths.addRunData == 0 && lengths.copyAddresses == 0;
    const int layout = SetUpWindowSections(
        chunk, parser.UnparsedData(), parser.ParsedSize(), parser.GetDeltaWindowEnd(),
        lengths.addRunData, lengths.instructions, lengths.copyAddresses, interleaved);
    if (layout != RESULT_SUCCESS) {
        return layout;
    }

    // Reserved once, so that nothing appended while the window is decoded moves the target.
    std::string& target = parent_->DecodedTarget();
    if (target.capacity() < targetWindowStart_ + windowLength) {
        target.reserve(targetWindowStart_ + windowLength);
    }
    if (winIndicator & VCD_SOURCE) {
        sourceIsDictionary_ = true;
        sourceSegmentStart_ = segmentPosition;
    } else if (winIndicator & VCD_TARGET) {
        sourceIsDictionary_ = false;
        sourceSegmentStart_ = segmentPosition;
    }
    sourceSegmentLength_ = segmentLength;
    hasChecksum_ = hasChecksum;
    expectedChecksum_ = checksum;
    foundHeader_ = true;
    chunk->Advance(parser.ParsedSize());
    parent_->AddToTotalTargetWindowSize(windowLength);
    return RESULT_SUCCESS;
}

int VCDiffDeltaFileWindow::SetUpWindowSections(ParseCursor* chunk, const char* headerEnd,
                                               size_t headerSize, const char* deltaWindowEnd,
                                               size_t dataLength, size_t instructionsLength,
                                               size_t addressesLength, bool interleaved) {
    interleaved_ = interleaved;
    if (interleaved) {
        interleavedBytesExpected_ = instructionsLength;
        ParseCursor body(headerEnd, chunk->end());
        SetUpInterleavedSection(body);
        reader_.Init(&instructions_);
        return RESULT_SUCCESS;
    }
    const size_t bodyAtHand = chunk->UnparsedSize() - headerSize;
    // Each length is below 2^31, so the sum is exact.
    if (bodyAtHand < dataLength + instructionsLength + addressesLength) {
        return RESULT_END_OF_DATA;
    }
    const char* dataStart = headerEnd;
    const char* instructionsStart = dataStart + dataLength;
    const char* addressesStart = instructionsStart + instructionsLength;
    const char* addressesEnd = addressesStart + addressesLength;
    data_.Init(dataStart, instructionsStart);
    instructions_.Init(instructionsStart, addressesStart);
    addresses_.Init(addressesStart, addressesEnd);
    dataSection_ = &data_;
    addressesSection_ = &addresses_;
    if (addressesEnd != deltaWindowEnd) {
        LogError("The end of the instructions section does not match the end of the delta window");
        return RESULT_ERROR;
    }
    reader_.Init(&instructions_);
    return RESULT_SUCCESS;
}

void VCDiffDeltaFileWindow::SetUpInterleavedSection(const ParseCursor& chunk) {
    const size_t atHand = chunk.UnparsedSize();
    interleavedRestAtHand_ = atHand >= interleavedBytesExpected_;
    const size_t length = std::min(interleavedBytesExpected_, atHand);
    instructions_.Init(chunk.position(), chunk.position() + length);
    dataSection_ = &instructions_;
    addressesSection_ = &instructions_;
}

}  // namespace vcdiff
