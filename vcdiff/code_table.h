#pragma once

#include <array>
#include <cstdint>

namespace vcdiff {

enum InstructionType : unsigned char {
    VCD_NOOP = 0,
    VCD_ADD = 1,
    VCD_RUN = 2,
    VCD_COPY = 3,
};

const char* InstructionTypeName(int type);

// An instruction code table: for every opcode up to two instructions, each with a type, a size
// (0: the size follows in the instruction stream) and an address mode.
struct VCDiffCodeTableData {
    std::array<unsigned char, 256> inst1;
    std::array<unsigned char, 256> inst2;
    std::array<unsigned char, 256> size1;
    std::array<unsigned char, 256> size2;
    std::array<unsigned char, 256> mode1;
    std::array<unsigned char, 256> mode2;
};

// The default code table of RFC 3284 section 5.6, the only one this decoder accepts.
extern const VCDiffCodeTableData kDefaultCodeTableData;

}  // namespace vcdiff
