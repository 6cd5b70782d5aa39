#include "vcdiff/code_table.h"

namespace vcdiff {

namespace {

constexpr int kSelfAndHereModes = 2;
constexpr int kNearModes = 4;
constexpr int kSameModes = 3;
constexpr int kLastMode = kSelfAndHereModes + kNearModes + kSameModes - 1;  // 8

constexpr VCDiffCodeTableData BuildDefaultCodeTable() {
    VCDiffCodeTableData t{};  // zero: NOOP, size 0, mode 0
    int op = 0;
    auto single = [&](unsigned char type, int size, int mode) {
        t.inst1[op] = type;
        t.size1[op] = static_cast<unsigned char>(size);
        t.mode1[op] = static_cast<unsigned char>(mode);
        ++op;
    };
    auto pair = [&](unsigned char type1, int size1, int mode1, unsigned char type2, int size2,
                    int mode2) {
        t.inst2[op] = type2;
        t.size2[op] = static_cast<unsigned char>(size2);
        t.mode2[op] = static_cast<unsigned char>(mode2);
        single(type1, size1, mode1);
    };

    single(VCD_RUN, 0, 0);  // opcode 0
    single(VCD_ADD, 0, 0);  // opcodes 1 to 18: ADD of size 0 (explicit), then 1 to 17
    for (int size = 1; size <= 17; ++size) {
        single(VCD_ADD, size, 0);
    }
    for (int mode = 0; mode <= kLastMode; ++mode) {  // opcodes 19 to 162
        single(VCD_COPY, 0, mode);
        for (int size = 4; size <= 18; ++size) {
            single(VCD_COPY, size, mode);
        }
    }
    for (int mode = 0; mode < kSelfAndHereModes + kNearModes; ++mode) {  // opcodes 163 to 234
        for (int addSize = 1; addSize <= 4; ++addSize) {
            for (int copySize = 4; copySize <= 6; ++copySize) {
                pair(VCD_ADD, addSize, 0, VCD_COPY, copySize, mode);
            }
        }
    }
    for (int mode = kSelfAndHereModes + kNearModes; mode <= kLastMode; ++mode) {  // 235 to 246
        for (int addSize = 1; addSize <= 4; ++addSize) {
            pair(VCD_ADD, addSize, 0, VCD_COPY, 4, mode);
        }
    }
    for (int mode = 0; mode <= kLastMode; ++mode) {  // opcodes 247 to 255
        pair(VCD_COPY, 4, mode, VCD_ADD, 1, 0);
    }
    return t;
}

}  // namespace

constinit const VCDiffCodeTableData kDefaultCodeTableData = BuildDefaultCodeTable();

const char* InstructionTypeName(int type) {
    switch (type) {
        case VCD_NOOP:
            return "NOOP";
        case VCD_ADD:
            return "ADD";
        case VCD_RUN:
            return "RUN";
        case VCD_COPY:
            return "COPY";
        default:
            return "UNKNOWN";
    }
}

}  // namespace vcdiff
