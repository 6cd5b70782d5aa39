// A game client's folder as the launcher finds it, for tests of the update engine.
#pragma once

#include <filesystem>
#include <set>

namespace swarm {

struct ClientLayout {
    std::set<int> missingPacks;    // left out of packs/
    std::set<int> corruptedPacks;  // damaged so that their sampled checksum is unknown
};

// Makes `clientFolder`/packs/ from the packs of a version folder (copies, so the test may change
// them), leaving out the missing packs and damaging the corrupted ones in their first bytes.
// Throws std::runtime_error.
void MakeClientFolder(const std::filesystem::path& versionFolder,
                      const std::filesystem::path& clientFolder, const ClientLayout& layout = {});

// Damages a pack in place within its first sampled MiB, so that its checksum changes.
void CorruptPack(const std::filesystem::path& pack);

}  // namespace swarm
