#include "vcdiff/decoder_impl.h"

#include <algorithm>

#include "vcdiff/decode_result.h"
#include "vcdiff/diagnostics.h"

namespace vcdiff {

namespace {

constexpr unsigned char kMagic[3] = {0xD6, 0xC3, 0xC4};
constexpr size_t kFileHeaderSize = 5;
constexpr unsigned char VCD_DECOMPRESS = 0x01;
constexpr unsigned char VCD_CODETABLE = 0x02;

// Stands in for a missing source: a decode started without one sees an empty dictionary, so a
// window that names a source segment is refused instead of reading through a null pointer.
class EmptySource : public InputStringInterface {
public:
    void read(std::string*, size_t, size_t) override {}
    uint64_t size() const override { return 0; }
};

EmptySource g_emptySource;

}  // namespace

VCDiffStreamingDecoderImpl::VCDiffStreamingDecoderImpl() {
    window_.Init(this);
    Reset();
}

void VCDiffStreamingDecoderImpl::Reset() {
    started_ = false;
    dictionary_ = nullptr;
    versionCode_ = 0;
    totalOfTargetWindowSizes_ = 0;
    addressCache_.reset();
    window_.Reset();
    outputPosition_ = 0;
}

void VCDiffStreamingDecoderImpl::StartDecoding(InputStringInterface* dictionary) {
    if (started_) {
        LogFatal("StartDecoding() called twice without FinishDecoding()");
        return;
    }
    unparsedBytes_.clear();
    decodedTarget_.clear();
    Reset();
    dictionary_ = dictionary != nullptr ? dictionary : &g_emptySource;
    started_ = true;
}

void VCDiffStreamingDecoderImpl::SetAllowVcdTarget(bool allow) {
    if (started_) {
        LogFatal("SetAllowVcdTarget() called after StartDecoding()");
        return;
    }
    allowVcdTarget_ = allow;
}

bool VCDiffStreamingDecoderImpl::SetMaximumTargetFileSize(size_t limit) {
    maximumTargetFileSize_ = limit;
    return true;
}

bool VCDiffStreamingDecoderImpl::SetMaximumTargetWindowSize(size_t limit) {
    if (limit > kTargetWindowSizeLimit) {
        LogError("Specified maximum target window size ", limit, " exceeds limit of ",
                 kTargetWindowSizeLimit, " bytes");
        return false;
    }
    maximumTargetWindowSize_ = limit;
    return true;
}

bool VCDiffStreamingDecoderImpl::TargetWindowWouldExceedSizeLimits(size_t windowLength) const {
    if (windowLength > maximumTargetWindowSize_) {
        LogError("Length of target window (", windowLength, ") exceeds limit of ",
                 maximumTargetWindowSize_, " bytes");
        return true;
    }
    // The file-size limit may have been lowered below what was already decoded.
    if (totalOfTargetWindowSizes_ > maximumTargetFileSize_ ||
        windowLength > maximumTargetFileSize_ - totalOfTargetWindowSizes_) {
        LogError("Length of target window (", windowLength, " bytes) plus previous windows (",
                 totalOfTargetWindowSizes_, " bytes) would exceed maximum target file size of ",
                 maximumTargetFileSize_, " bytes");
        return true;
    }
    return false;
}

int VCDiffStreamingDecoderImpl::ReadDeltaFileHeader(ParseCursor* chunk) {
    if (addressCache_) {
        return RESULT_SUCCESS;
    }
    const size_t atHand = chunk->UnparsedSize();
    const auto* header = reinterpret_cast<const unsigned char*>(chunk->position());
    if (atHand >= 4) {
        versionCode_ = static_cast<char>(header[3]);
        if (versionCode_ != kVersionStandard && versionCode_ != kVersionInterleaved) {
            LogError("Unrecognized VCDIFF format version");
            return RESULT_ERROR;
        }
    }
    for (size_t i = 0; i < std::min<size_t>(atHand, 3); ++i) {
        if (header[i] != kMagic[i]) {
            LogError("Did not find VCDIFF header bytes; input is not a VCDIFF delta file");
            return RESULT_ERROR;
        }
    }
    if (atHand < kFileHeaderSize) {
        return RESULT_END_OF_DATA;
    }
    if (header[4] & VCD_DECOMPRESS) {
        LogError("Secondary compression is not supported");
        return RESULT_ERROR;
    }
    if (header[4] & VCD_CODETABLE) {
        LogError("App-defined codetable is not supported");
        return RESULT_ERROR;
    }
    addressCache_ = std::make_unique<VCDiffAddressCache>();
    chunk->Advance(kFileHeaderSize);
    return RESULT_SUCCESS;
}

bool VCDiffStreamingDecoderImpl::DecodeChunk(const char* data, size_t len,
                                             OutputStringInterface* out) {
    if (!started_) {
        LogFatal("DecodeChunk() called without StartDecoding()");
        Reset();
        return false;
    }
    ParseCursor chunk(data, data + len);
    const bool parsedFromUnparsed = !unparsedBytes_.empty();
    if (parsedFromUnparsed) {
        unparsedBytes_.append(data, len);
        chunk.Init(unparsedBytes_.data(), unparsedBytes_.data() + unparsedBytes_.size());
    }
    int result = ReadDeltaFileHeader(&chunk);
    if (result == RESULT_SUCCESS) {
        while (!chunk.Empty()) {
            result = window_.DecodeWindow(&chunk);
            if (result != RESULT_SUCCESS) {
                break;
            }
            if (!allowVcdTarget_) {
                FlushDecodedTarget(out);
            }
        }
    }
    if (result == RESULT_ERROR) {
        Reset();
        return false;
    }
    KeepUnparsedRemainder(chunk, parsedFromUnparsed);
    AppendNewOutputText(out);
    return true;
}

void VCDiffStreamingDecoderImpl::KeepUnparsedRemainder(const ParseCursor& chunk,
                                                       bool parsedFromUnparsed) {
    if (parsedFromUnparsed) {
        unparsedBytes_.erase(0, chunk.ParsedSize());
    } else {
        unparsedBytes_.assign(chunk.position(), chunk.UnparsedSize());
    }
}

void VCDiffStreamingDecoderImpl::FlushDecodedTarget(OutputStringInterface* out) {
    out->append(decodedTarget_.data() + outputPosition_, decodedTarget_.size() - outputPosition_);
    decodedTarget_.clear();
    window_.SetTargetWindowStart(0);
    outputPosition_ = 0;
}

void VCDiffStreamingDecoderImpl::AppendNewOutputText(OutputStringInterface* out) {
    const size_t newBytes = decodedTarget_.size() - outputPosition_;
    if (newBytes == 0) {
        return;
    }
    const size_t windowLength = window_.TargetWindowLength();
    const size_t stillToCome =
        windowLength == 0 ? 0 : windowLength - std::min(windowLength, window_.TargetBytesDecoded());
    if (stillToCome > 0) {
        out->ReserveAdditionalBytes(newBytes + stillToCome);
    }
    out->append(decodedTarget_.data() + outputPosition_, newBytes);
    outputPosition_ = decodedTarget_.size();
}

bool VCDiffStreamingDecoderImpl::IsDecodingComplete() const {
    if (!addressCache_) {
        return unparsedBytes_.empty();
    }
    if (window_.FoundWindowHeader()) {
        return false;
    }
    return unparsedBytes_.empty();
}

bool VCDiffStreamingDecoderImpl::FinishDecoding() {
    bool complete = false;
    if (!started_) {
        LogWarning(
            "FinishDecoding() called before StartDecoding(), or called after DecodeChunk() "
            "returned false");
    } else if (!IsDecodingComplete()) {
        LogError("FinishDecoding() called before parsing entire delta file window");
    } else {
        complete = true;
    }
    Reset();
    return complete;
}

}  // namespace vcdiff
