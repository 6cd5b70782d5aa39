#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "vcdiff/address_cache.h"
#include "vcdiff/delta_window.h"
#include "vcdiff/input_string_interface.h"
#include "vcdiff/output_string_interface.h"
#include "vcdiff/parse_cursor.h"

namespace vcdiff {

// State of one decode: the input not yet consumed, the decoded target still held, the window in
// progress and the limits. VCDiffStreamingDecoder is its public face.
class VCDiffStreamingDecoderImpl {
public:
    static constexpr size_t kDefaultMaximumTargetFileSize = 0x4000000;
    static constexpr size_t kDefaultMaximumTargetWindowSize = 0x4000000;
    static constexpr size_t kTargetWindowSizeLimit = 0x7FFFFFFF;
    static constexpr char kVersionStandard = 0x00;
    static constexpr char kVersionInterleaved = 'S';

    VCDiffStreamingDecoderImpl();

    void StartDecoding(InputStringInterface* dictionary);
    bool DecodeChunk(const char* data, size_t len, OutputStringInterface* out);
    bool FinishDecoding();
    void Reset();

    bool IsStarted() const { return started_; }
    void SetAllowVcdTarget(bool allow);
    bool SetMaximumTargetFileSize(size_t limit);
    bool SetMaximumTargetWindowSize(size_t limit);

    // Used by the window while it decodes.
    InputStringInterface* Dictionary() { return dictionary_; }
    std::string& DecodedTarget() { return decodedTarget_; }
    VCDiffAddressCache* AddressCache() { return addressCache_.get(); }
    char VersionCode() const { return versionCode_; }
    bool AllowVcdTarget() const { return allowVcdTarget_; }
    bool TargetWindowWouldExceedSizeLimits(size_t windowLength) const;
    void AddToTotalTargetWindowSize(size_t windowLength) {
        totalOfTargetWindowSizes_ += windowLength;
    }

private:
    int ReadDeltaFileHeader(ParseCursor* chunk);
    bool IsDecodingComplete() const;
    void FlushDecodedTarget(OutputStringInterface* out);
    void AppendNewOutputText(OutputStringInterface* out);
    void KeepUnparsedRemainder(const ParseCursor& chunk, bool parsedFromUnparsed);

    InputStringInterface* dictionary_ = nullptr;
    std::string unparsedBytes_;
    std::string decodedTarget_;
    char versionCode_ = 0;
    VCDiffDeltaFileWindow window_;
    std::unique_ptr<VCDiffAddressCache> addressCache_;
    size_t maximumTargetFileSize_ = kDefaultMaximumTargetFileSize;
    size_t maximumTargetWindowSize_ = kDefaultMaximumTargetWindowSize;
    size_t totalOfTargetWindowSizes_ = 0;
    size_t outputPosition_ = 0;
    bool started_ = false;
    bool allowVcdTarget_ = true;
};

}  // namespace vcdiff
