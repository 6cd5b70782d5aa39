#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vcdiff_test {

// Deterministic inputs for the round trips; the same seed gives the same bytes on every machine.
std::string RandomBytes(uint64_t seed, size_t size);
std::string WordText(uint64_t seed, size_t size);
// `old` with random inserts, deletes and blocks moved elsewhere.
std::string EditBlocks(const std::string& old, uint64_t seed, int edits);
// `text` with one byte changed every `stride` bytes.
std::string ChangeEveryNthByte(std::string text, size_t stride);

// A scratch folder removed with the object.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string Path(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool Xdelta3Available();
// Encodes NEW against OLD into plain RFC 3284 with xdelta3; throws when xdelta3 fails.
std::string Xdelta3Encode(const ScratchDir& dir, const std::string& old, const std::string& now);

}  // namespace vcdiff_test
