// Window body decoding: the instructions of RFC 3284 sections 5.1 to 5.4 executed into the
// decoded target, then the window's length and checksum checks.

#include <zlib.h>

#include <algorithm>

#include "vcdiff/address_cache.h"
#include "vcdiff/code_table.h"
#include "vcdiff/decode_result.h"
#include "vcdiff/decoder_impl.h"
#include "vcdiff/delta_window.h"
#include "vcdiff/diagnostics.h"

namespace vcdiff {

int VCDiffDeltaFileWindow::DecodeWindow(ParseCursor* chunk) {
    if (parent_ == nullptr) {
        LogFatal(
            "Internal error: VCDiffDeltaFileWindow::DecodeWindow() called before "
            "VCDiffDeltaFileWindow::Init()");
        return RESULT_ERROR;
    }
    if (!foundHeader_) {
        const int header = ReadHeader(chunk);
        if (header != RESULT_SUCCESS) {
            return header;
        }
        if (!parent_->AddressCache()->Init()) {
            LogFatal("Error initializing address cache");
            return RESULT_ERROR;
        }
    } else {
        if (!interleaved_) {
            LogFatal(
                "Internal error: Resumed decoding of a delta file window when interleaved format "
                "is not being used");
            return RESULT_ERROR;
        }
        SetUpInterleavedSection(*chunk);
        reader_.Resume(&instructions_);
    }
    const int body = DecodeBody(chunk);
    if (body == RESULT_END_OF_DATA) {
        // Only an interleaved window may wait for more input, and only while some of its
        // instruction bytes have yet to arrive.
        if (interleaved_ && interleavedBytesExpected_ > 0 && !interleavedRestAtHand_) {
            return RESULT_END_OF_DATA;
        }
        LogError("End of data reached while decoding VCDIFF delta file");
        return RESULT_ERROR;
    }
    if (body != RESULT_SUCCESS) {
        return body;
    }
    Reset();
    return RESULT_SUCCESS;
}

int VCDiffDeltaFileWindow::DecodeBody(ParseCursor* chunk) {
    if (interleaved_ && instructions_.position() != chunk->position()) {
        LogFatal(
            "Internal error: interleaved format is used, but the input pointer does not point to "
            "the instructions section");
        return RESULT_ERROR;
    }
    const std::string& target = parent_->DecodedTarget();
    const size_t windowLength = targetWindowLength_;
    while (target.size() - targetWindowStart_ < windowLength) {
        const size_t decoded = target.size() - targetWindowStart_;
        int32_t size = 0;
        unsigned char mode = 0;
        const int type = reader_.GetNextInstruction(&size, &mode);
        if (type == VCDiffCodeTableReader::kInstructionError) {
            return RESULT_ERROR;
        }
        if (type == VCDiffCodeTableReader::kInstructionEnd) {
            MoveInstructionPointerForward(chunk);
            return RESULT_END_OF_DATA;
        }
        const size_t instructionSize = static_cast<size_t>(size);
        if (instructionSize > windowLength || instructionSize + decoded > windowLength) {
            LogError(InstructionTypeName(type), " with size ", instructionSize, " plus existing ",
                     decoded, " bytes of target data exceeds length of target window (",
                     windowLength, " bytes)");
            return RESULT_ERROR;
        }
        int result = RESULT_SUCCESS;
        switch (type) {
            case VCD_ADD:
                result = DecodeAdd(instructionSize);
                break;
            case VCD_RUN:
                result = DecodeRun(instructionSize);
                break;
            case VCD_COPY:
                result = DecodeCopy(instructionSize, mode);
                break;
            default:
                LogFatal("Unexpected instruction type ", type, "in opcode stream");
                return RESULT_ERROR;
        }
        if (result == RESULT_END_OF_DATA) {
            reader_.UnGetInstruction();
            MoveInstructionPointerForward(chunk);
            return RESULT_END_OF_DATA;
        }
        if (result != RESULT_SUCCESS) {
            return result;
        }
    }
    const size_t decoded = TargetBytesDecoded();
    if (decoded != windowLength) {
        LogError("Decoded target window size (", decoded, " bytes) does not match expected size (",
                 windowLength, " bytes)");
        return RESULT_ERROR;
    }
    if (hasChecksum_ && !ChecksumMatches()) {
        LogError(
            "Target data does not match checksum; this could mean that the wrong dictionary was "
            "used");
        return RESULT_ERROR;
    }
    if (HasExcessInstructions()) {
        LogError("Excess instructions and sizes left over after decoding target window");
        return RESULT_ERROR;
    }
    if (interleaved_) {
        MoveInstructionPointerForward(chunk);
        return RESULT_SUCCESS;
    }
    if (!data_.Empty()) {
        LogError("Excess ADD/RUN data left over after decoding target window");
        return RESULT_ERROR;
    }
    if (!addresses_.Empty()) {
        LogError("Excess COPY addresses left over after decoding target window");
        return RESULT_ERROR;
    }
    chunk->SetPosition(addresses_.end());
    return RESULT_SUCCESS;
}

bool VCDiffDeltaFileWindow::HasExcessInstructions() const {
    if (!interleaved_) {
        return !instructions_.Empty();
    }
    // Instruction bytes of this window that have not arrived yet are excess as well, so that a
    // window decodes the same whatever the piece size.
    return instructions_.ParsedSize() < interleavedBytesExpected_;
}

bool VCDiffDeltaFileWindow::ChecksumMatches() const {
    const std::string& target = parent_->DecodedTarget();
    // This format's checksum starts from 0, not from zlib's initial value 1.
    uLong checksum = 0;
    if (targetWindowLength_ > 0) {
        checksum = adler32(0, reinterpret_cast<const Bytef*>(target.data() + targetWindowStart_),
                           static_cast<uInt>(targetWindowLength_));
    }
    return checksum == expectedChecksum_;
}

void VCDiffDeltaFileWindow::MoveInstructionPointerForward(ParseCursor* chunk) {
    if (!interleaved_) {
        return;
    }
    const size_t consumed = instructions_.ParsedSize();
    interleavedBytesExpected_ -= consumed;
    chunk->Advance(consumed);
}

int VCDiffDeltaFileWindow::DecodeAdd(size_t size) {
    if (size > dataSection_->UnparsedSize()) {
        return RESULT_END_OF_DATA;
    }
    parent_->DecodedTarget().append(dataSection_->position(), size);
    dataSection_->Advance(size);
    return RESULT_SUCCESS;
}

int VCDiffDeltaFileWindow::DecodeRun(size_t size) {
    if (dataSection_->Empty()) {
        return RESULT_END_OF_DATA;
    }
    parent_->DecodedTarget().append(size, *dataSection_->position());
    dataSection_->Advance(1);
    return RESULT_SUCCESS;
}

int VCDiffDeltaFileWindow::DecodeCopy(size_t size, int mode) {
    const int64_t segmentLength = static_cast<int64_t>(sourceSegmentLength_);
    const int64_t here = segmentLength + static_cast<int64_t>(TargetBytesDecoded());
    int32_t decodedAddress = 0;
    const int result =
        parent_->AddressCache()->DecodeAddress(here, mode, addressesSection_, &decodedAddress);
    if (result == RESULT_END_OF_DATA) {
        return result;
    }
    if (result != RESULT_SUCCESS) {
        LogError("Unable to decode address for COPY");
        return RESULT_ERROR;
    }
    const int64_t address = decodedAddress;
    if (address < 0 || address > here) {
        LogFatal("Internal error: unexpected address ", address,
                 " returned from DecodeAddress, with here_address = ", here);
        return RESULT_ERROR;
    }
    if (address + static_cast<int64_t>(size) <= segmentLength) {
        AppendSource(static_cast<size_t>(address), size);
        return RESULT_SUCCESS;
    }
    size_t offset = static_cast<size_t>(address);
    if (address < segmentLength) {
        // The copy starts in the source segment and runs on into the target window.
        const size_t fromSource = sourceSegmentLength_ - offset;
        AppendSource(offset, fromSource);
        size -= fromSource;
        offset = sourceSegmentLength_;
    }
    return CopyFromTargetWindow(offset - sourceSegmentLength_, size);
}

int VCDiffDeltaFileWindow::CopyFromTargetWindow(size_t offset, size_t size) {
    std::string& target = parent_->DecodedTarget();
    const size_t from = targetWindowStart_ + offset;
    if (from >= target.size()) {
        // Only a source that appended fewer bytes than asked can get here.
        LogFatal("Internal error: unexpected address ", offset + sourceSegmentLength_,
                 " returned from DecodeAddress, with here_address = ",
                 sourceSegmentLength_ + TargetBytesDecoded());
        return RESULT_ERROR;
    }
    // Where the copy overlaps its own output it repeats the pattern between `from` and the end.
    // The target stays periodic from `from` on, so each pass can copy everything decoded since
    // `from`: the copied part doubles with every pass.
    while (size > 0) {
        const size_t step = std::min(size, target.size() - from);
        target.append(target, from, step);
        size -= step;
    }
    return RESULT_SUCCESS;
}

void VCDiffDeltaFileWindow::AppendSource(size_t offset, size_t length) {
    std::string& target = parent_->DecodedTarget();
    if (sourceIsDictionary_) {
        parent_->Dictionary()->read(&target, sourceSegmentStart_ + offset, length);
    } else {
        target.append(target, sourceSegmentStart_ + offset, length);
    }
}

}  // namespace vcdiff
