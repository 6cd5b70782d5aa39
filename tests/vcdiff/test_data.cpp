#include "tests/vcdiff/test_data.h"

#include <stdlib.h>

#include <filesystem>
#include <random>
#include <stdexcept>

#include "tests/vcdiff/decode_helpers.h"

namespace vcdiff_test {

std::string RandomBytes(uint64_t seed, size_t size) {
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const uint64_t word = random();
        for (int b = 0; b < 8; ++b) {
            bytes[i + b] = static_cast<char>(word >> (8 * b));
        }
    }
    for (; i < size; ++i) {
        bytes[i] = static_cast<char>(random());
    }
    return bytes;
}

std::string WordText(uint64_t seed, size_t size) {
    std::mt19937_64 random(seed);
    std::string words[300];
    for (std::string& word : words) {
        const size_t length = 2 + random() % 8;
        for (size_t i = 0; i < length; ++i) {
            word.push_back(static_cast<char>('a' + random() % 12));
        }
    }
    std::string text;
    text.reserve(size + 16);
    while (text.size() < size) {
        text += words[random() % 300];
        text.push_back(random() % 12 == 0 ? '\n' : ' ');
    }
    text.resize(size);
    return text;
}

std::string EditBlocks(const std::string& old, uint64_t seed, int edits) {
    std::mt19937_64 random(seed);
    std::string text = old;
    for (int i = 0; i < edits; ++i) {
        const size_t at = random() % (text.size() + 1);
        switch (random() % 3) {
            case 0:
                text.insert(at, RandomBytes(random(), 1 + random() % 5000));
                break;
            case 1:
                text.erase(at, 1 + random() % 5000);
                break;
            default: {
                const size_t length = std::min<size_t>(text.size() - at, 1 + random() % 300000);
                const std::string block = text.substr(at, length);
                text.erase(at, length);
                text.insert(random() % (text.size() + 1), block);
            }
        }
    }
    return text;
}

std::string ChangeEveryNthByte(std::string text, size_t stride) {
    for (size_t i = 0; i < text.size(); i += stride) {
        text[i] = static_cast<char>(text[i] ^ 0x20);
    }
    return text;
}

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vcdiff-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder");
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool Xdelta3Available() { return std::system("xdelta3 -V >/dev/null 2>&1") == 0; }

std::string Xdelta3Encode(const ScratchDir& dir, const std::string& old, const std::string& now) {
    WriteFileBytes(dir.Path("old"), old);
    WriteFileBytes(dir.Path("new"), now);
    const std::string command = "xdelta3 -e -f -n -A= -S none -D -s '" + dir.Path("old") + "' '" +
                                dir.Path("new") + "' '" + dir.Path("delta") + "'";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("xdelta3 failed: " + command);
    }
    return ReadFileBytes(dir.Path("delta"));
}

}  // namespace vcdiff_test
