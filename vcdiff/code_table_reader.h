#pragma once

#include <cstdint>

#include "vcdiff/code_table.h"
#include "vcdiff/parse_cursor.h"

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

    const VCDiffCodeTableData* table_ = &kDefaultCodeTableData;
    const char** position_ = nullptr;
    const char* end_ = nullptr;
    const char* lastInstructionStart_ = nullptr;
    uint16_t pendingSecondInstruction_ = kNoOpcode;
    uint16_t lastPendingSecondInstruction_ = kNoOpcode;
};

}  // namespace vcdiff
