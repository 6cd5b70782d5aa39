#include "vcdiff/code_table_reader.h"

#include "vcdiff/diagnostics.h"
#include "vcdiff/varint.h"

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

int VCDiffCodeTableReader::GetNextInstruction(int32_t* size, unsigned char* mode) {
    if (position_ == nullptr) {
        LogError("Internal error: GetNextInstruction() called before Init()");
        return kInstructionError;
    }
    lastInstructionStart_ = *position_;
    lastPendingSecondInstruction_ = pendingSecondInstruction_;
    unsigned char type = VCD_NOOP;
    unsigned char tableSize = 0;
    do {
        if (pendingSecondInstruction_ != kNoOpcode) {
            const uint16_t opcode = pendingSecondInstruction_;
            pendingSecondInstruction_ = kNoOpcode;
            type = table_->inst2[opcode];
            tableSize = table_->size2[opcode];
            *mode = table_->mode2[opcode];
            break;
        }
        if (*position_ == end_) {
            return kInstructionEnd;
        }
        const unsigned char opcode = static_cast<unsigned char>(**position_);
        ++*position_;
        if (table_->inst2[opcode] != VCD_NOOP) {
            pendingSecondInstruction_ = opcode;
        }
        type = table_->inst1[opcode];
        tableSize = table_->size1[opcode];
        *mode = table_->mode1[opcode];
    } while (type == VCD_NOOP);

    if (tableSize != 0) {
        *size = tableSize;
        return type;
    }
    switch (ParseVarint31(position_, end_, size)) {
        case VarintStatus::kOk:
            return type;
        case VarintStatus::kInvalid:
            LogError("Instruction size is not a valid variable-length integer");
            return kInstructionError;
        case VarintStatus::kEndOfData:
            break;
    }
    UnGetInstruction();
    return kInstructionEnd;
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
