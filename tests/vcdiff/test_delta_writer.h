#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A tiny VCDIFF writer for the cases xdelta3 never produces: the 'S' format with interleaved
// sections and checksums, VCD_TARGET windows, chosen opcodes and address modes, broken files.
namespace vcdiff_test {

inline constexpr unsigned char kVcdSource = 0x01;
inline constexpr unsigned char kVcdTarget = 0x02;
inline constexpr unsigned char kVcdChecksum = 0x04;

// Default code table opcodes used by the tests.
inline constexpr unsigned char kOpRun = 0;
inline constexpr unsigned char kOpAdd = 1;  // explicit size
inline unsigned char CopyOpcode(int mode) { return static_cast<unsigned char>(19 + 16 * mode); }
// ADD of addSize (1..4) paired with COPY of copySize (4..6) in mode 0..5.
inline unsigned char AddCopyOpcode(int addSize, int copySize, int mode) {
    return static_cast<unsigned char>(163 + 12 * mode + 3 * (addSize - 1) + (copySize - 4));
}

std::string Varint(uint64_t value);
uint32_t Adler32FromZero(const std::string& bytes);

// The body of one window. Standard layout keeps data, instructions and addresses apart;
// interleaved layout writes everything into the instructions stream in call order.
class WindowBody {
public:
    explicit WindowBody(bool interleaved = false) : interleaved_(interleaved) {}

    WindowBody& Add(const std::string& bytes);
    WindowBody& Run(size_t size, char byte);
    // COPY with an explicit size; `address` is the encoded value (a varint, or one byte in the
    // same modes 6 to 8).
    WindowBody& Copy(size_t size, int mode, uint64_t address);

    // Raw pieces for paired opcodes and malformed streams.
    WindowBody& Opcode(unsigned char opcode);
    WindowBody& Size(uint64_t size);
    WindowBody& Data(const std::string& bytes);
    WindowBody& Address(int mode, uint64_t address);
    WindowBody& RawInstructionBytes(const std::string& bytes);

    bool interleaved() const { return interleaved_; }
    std::string data;
    std::string instructions;
    std::string addresses;

private:
    bool interleaved_;
};

struct TestWindow {
    explicit TestWindow(unsigned char indicator = 0, uint64_t length = 0, uint64_t position = 0,
                        bool interleaved = false)
        : winIndicator(indicator),
          segmentLength(length),
          segmentPosition(position),
          body(interleaved) {}

    unsigned char winIndicator = 0;
    uint64_t segmentLength = 0;
    uint64_t segmentPosition = 0;
    uint64_t targetLength = 0;
    unsigned char deltaIndicator = 0;
    std::optional<uint64_t> checksum;  // written when set (read only with VCD_CHECKSUM)
    WindowBody body;
    // Overrides the computed "length of the delta encoding" when set.
    std::optional<uint64_t> deltaEncodingLength;
};

std::string FileHeader(char version, unsigned char hdrIndicator = 0);
std::string EncodeWindow(const TestWindow& window);
std::string EncodeDelta(char version, const std::vector<TestWindow>& windows);

}  // namespace vcdiff_test
