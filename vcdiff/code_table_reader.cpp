#include "vcdiff/code_table_reader.h"

#include "vcdiff/diagnostics.h"

namespace vcdiff {

void VCDiffCodeTableReader::Init(ParseCursor* instructions) {
    position_ = instructions->PositionField();
    end_ = instructions->end();
    lastInstructionStart_ = nullptr;
    pendingSecondInstruction_ = kNoOpcode;
    lastPendingSecondInstruction_ = kNoOpcode;
}

void VCDiffCodeTableReader::Resume(ParseCursor* instructions) {
    position_ = instructions->PositionField();
    end_ = instructions->end();
    lastInstructionStart_ = *position_;
    lastPendingSecondInstruction_ = pendingSecondInstruction_;
}

int VCDiffCodeTableReader::ReportNotInitialized() {
    LogError("Internal error: GetNextInstruction() called before Init()");
    return kInstructionError;
}

int VCDiffCodeTableReader::ReportInvalidSize() {
    LogError("Instruction size is not a valid variable-length integer");
    return kInstructionError;
}

void VCDiffCodeTableReader::UnGetInstruction() {
    if (lastInstructionStart_ == nullptr) {
        return;
    }
    if (lastInstructionStart_ > *position_) {
        LogFatal(
            "Internal error: last_instruction_start past end of instructions_and_sizes in "
            "UnGetInstruction");
    }
    if (lastPendingSecondInstruction_ != kNoOpcode && pendingSecondInstruction_ != kNoOpcode) {
        LogFatal("Internal error: two pending instructions in a row in UnGetInstruction");
    }
    *position_ = lastInstructionStart_;
    pendingSecondInstruction_ = lastPendingSecondInstruction_;
}

}  // namespace vcdiff
