#pragma once

#include <cstdint>

#include "vcdiff/code_table.h"
#include "vcdiff/parse_cursor.h"
#include "vcdiff/varint.h"

namespace vcdiff {

// Reads instructions from the instructions-and-sizes stream through the code table. An opcode
// with two instructions leaves its second one pending for the next call.
class VCDiffCodeTableReader {
public:
    // Results of GetNextInstruction besides the instruction types.
    static constexpr int kInstructionError = 4;  // the instruction stream is malformed
    static constexpr int kInstructionEnd = 5;    // the stream ends here; more data needed

    // Points the reader at a new instruction stream and forgets any pending instruction.
    void Init(ParseCursor* instructions);

    // Points the reader at the next part of the same stream (an interleaved window resumed with
    // the next piece of input); a pending second instruction stays pending.
    void Resume(ParseCursor* instructions);

    // Returns the next instruction's type with its size and address mode, or kInstructionError
    // or kInstructionEnd. On kInstructionEnd the stream is left at the unfinished instruction.
    int GetNextInstruction(int32_t* size, unsigned char* mode);

    // Rewinds to the start of the latest instruction, restoring its pending state.
    void UnGetInstruction();

private:
    static constexpr uint16_t kNoOpcode = 256;

    int ReportNotInitialized();
    int ReportInvalidSize();

    const VCDiffCodeTableData* table_ = &kDefaultCodeTableData;
    const char** position_ = nullptr;
    const char* end_ = nullptr;
    const char* lastInstructionStart_ = nullptr;
    uint16_t pendingSecondInstruction_ = kNoOpcode;
    uint16_t lastPendingSecondInstruction_ = kNoOpcode;
};

// Inline: it runs once per instruction.
inline int VCDiffCodeTableReader::GetNextInstruction(int32_t* size, unsigned char* mode) {
    if (position_ == nullptr) {
        return ReportNotInitialized();
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
            return ReportInvalidSize();
        case VarintStatus::kEndOfData:
            break;
    }
    UnGetInstruction();
    return kInstructionEnd;
}

}  // namespace vcdiff
