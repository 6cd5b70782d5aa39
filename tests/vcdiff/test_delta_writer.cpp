#include "tests/vcdiff/test_delta_writer.h"

#include <zlib.h>

namespace vcdiff_test {

std::string Varint(uint64_t value) {
    std::string reversed(1, static_cast<char>(value & 0x7F));
    for (value >>= 7; value != 0; value >>= 7) {
        reversed.push_back(static_cast<char>(0x80 | (value & 0x7F)));
    }
    return std::string(reversed.rbegin(), reversed.rend());
}

uint32_t Adler32FromZero(const std::string& bytes) {
    if (bytes.empty()) {
        return 0;
    }
    return static_cast<uint32_t>(
        adler32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

WindowBody& WindowBody::Opcode(unsigned char opcode) {
    instructions.push_back(static_cast<char>(opcode));
    return *this;
}

WindowBody& WindowBody::Size(uint64_t size) {
    instructions += Varint(size);
    return *this;
}

WindowBody& WindowBody::Data(const std::string& bytes) {
    (interleaved_ ? instructions : data) += bytes;
    return *this;
}

WindowBody& WindowBody::Address(int mode, uint64_t address) {
    std::string encoded = mode >= 6 ? std::string(1, static_cast<char>(address)) : Varint(address);
    (interleaved_ ? instructions : addresses) += encoded;
    return *this;
}

WindowBody& WindowBody::RawInstructionBytes(const std::string& bytes) {
    instructions += bytes;
    return *this;
}

WindowBody& WindowBody::Add(const std::string& bytes) {
    return Opcode(kOpAdd).Size(bytes.size()).Data(bytes);
}

WindowBody& WindowBody::Run(size_t size, char byte) {
    return Opcode(kOpRun).Size(size).Data(std::string(1, byte));
}

WindowBody& WindowBody::Copy(size_t size, int mode, uint64_t address) {
    return Opcode(CopyOpcode(mode)).Size(size).Address(mode, address);
}

std::string FileHeader(char version, unsigned char hdrIndicator) {
    std::string header = "\xD6\xC3\xC4";
    header.push_back(version);
    header.push_back(static_cast<char>(hdrIndicator));
    return header;
}

std::string EncodeWindow(const TestWindow& window) {
    std::string out(1, static_cast<char>(window.winIndicator));
    if (window.winIndicator & (kVcdSource | kVcdTarget)) {
        out += Varint(window.segmentLength) + Varint(window.segmentPosition);
    }
    std::string encoding = Varint(window.targetLength);
    encoding.push_back(static_cast<char>(window.deltaIndicator));
    encoding += Varint(window.body.data.size()) + Varint(window.body.instructions.size()) +
                Varint(window.body.addresses.size());
    if (window.checksum) {
        encoding += Varint(*window.checksum);
    }
    encoding += window.body.data + window.body.instructions + window.body.addresses;
    out += Varint(window.deltaEncodingLength.value_or(encoding.size()));
    return out + encoding;
}

std::string EncodeDelta(char version, const std::vector<TestWindow>& windows) {
    std::string out = FileHeader(version);
    for (const TestWindow& window : windows) {
        out += EncodeWindow(window);
    }
    return out;
}

}  // namespace vcdiff_test
