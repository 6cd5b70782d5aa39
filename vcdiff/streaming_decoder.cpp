#include "vcdiff/streaming_decoder.h"

#include "vcdiff/decoder_impl.h"

namespace vcdiff {

VCDiffStreamingDecoder::VCDiffStreamingDecoder()
    : impl_(std::make_unique<VCDiffStreamingDecoderImpl>()) {}

VCDiffStreamingDecoder::~VCDiffStreamingDecoder() {
    // The implementation refers to the source adapter, so it goes first.
    impl_.reset();
    source_.reset();
}

bool VCDiffStreamingDecoder::IsStarted() const { return impl_->IsStarted(); }

void VCDiffStreamingDecoder::SetAllowVcdTarget(bool allow) { impl_->SetAllowVcdTarget(allow); }

void VCDiffStreamingDecoder::StartDecoding() { impl_->StartDecoding(source_.get()); }

bool VCDiffStreamingDecoder::SetMaximumTargetFileSize(size_t limit) {
    return impl_->SetMaximumTargetFileSize(limit);
}

bool VCDiffStreamingDecoder::SetMaximumTargetWindowSize(size_t limit) {
    return impl_->SetMaximumTargetWindowSize(limit);
}

bool VCDiffStreamingDecoder::DecodeChunkToInterface(const char* data, size_t len,
                                                    OutputStringInterface* out) {
    return impl_->DecodeChunk(data, len, out);
}

bool VCDiffStreamingDecoder::FinishDecoding() { return impl_->FinishDecoding(); }

}  // namespace vcdiff
