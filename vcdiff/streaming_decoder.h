#pragma once

#include <cstddef>
#include <memory>

#include "vcdiff/input_string.h"
#include "vcdiff/input_string_interface.h"
#include "vcdiff/output_string.h"
#include "vcdiff/output_string_interface.h"

namespace vcdiff {

class VCDiffStreamingDecoderImpl;

// Streaming decoder of VCDIFF delta files (RFC 3284, and the 'S' variant with interleaved
// sections and per-window Adler-32 checksums).
//
// Calling order: SetAllowVcdTarget (optional), StartDecoding once, DecodeChunk for each piece of
// the delta file in order (pieces of any size), FinishDecoding. Misuse is reported on standard
// error and answered with the failure result; nothing ever ends the process. Exceptions thrown by
// the source or the output pass through to the caller of DecodeChunk.
class VCDiffStreamingDecoder {
public:
    VCDiffStreamingDecoder();
    ~VCDiffStreamingDecoder();
    VCDiffStreamingDecoder(const VCDiffStreamingDecoder&) = delete;
    VCDiffStreamingDecoder& operator=(const VCDiffStreamingDecoder&) = delete;

    // Only before StartDecoding: whether windows may take their source segment from the target
    // decoded so far. With it forbidden, memory stays at one target window.
    void SetAllowVcdTarget(bool allow);

    // Starts a decode against `source`, which must outlive the decoder. The decoder owns the
    // adapter it makes over it.
    template <class T>
    void StartDecoding(T* source) {
        if (IsStarted()) {
            StartDecoding();  // reports the second start; the first source stays in force
            return;
        }
        source_.reset(new InputString<T>(source));
        StartDecoding();
    }
    void StartDecoding();

    bool SetMaximumTargetFileSize(size_t limit);
    // Refuses limits of 2^31 bytes or more (false, old limit kept).
    bool SetMaximumTargetWindowSize(size_t limit);

    // Decodes the next piece of the delta file and hands the new target bytes to `target`.
    // false: the delta file is bad, a limit was exceeded or the decoder was not started; the
    // decoder is then reset and must not be fed again.
    template <class T>
    bool DecodeChunk(const char* data, size_t len, T* target) {
        OutputString<T> out(target);
        return DecodeChunkToInterface(data, len, &out);
    }
    bool DecodeChunkToInterface(const char* data, size_t len, OutputStringInterface* out);

    // true only if the input ended exactly at the end of a window. Always resets the decoder.
    bool FinishDecoding();

private:
    bool IsStarted() const;

    std::unique_ptr<VCDiffStreamingDecoderImpl> impl_;
    std::unique_ptr<InputStringInterface> source_;
};

// Set, for the rest of the process, once any decoder has written a FATAL line.
bool FatalErrorOccurred();

}  // namespace vcdiff
