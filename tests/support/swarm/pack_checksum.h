// The sampled pack checksum as the update server keys its replies by it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace swarm {

// The engine's own sampled checksum of a pack file (seed 0). Throws std::runtime_error naming
// the file when it cannot be read.
uint32_t PackChecksum(const std::filesystem::path& file);

// Eight upper-case hexadecimal digits, as in the engine's requests and file names.
std::string ChecksumText(uint32_t checksum);

}  // namespace swarm
