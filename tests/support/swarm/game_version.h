// Versions of a made-up game client: the 21 packs, reproducible from a seed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>

namespace swarm {

struct GameSpec {
    uint64_t seed = 0x5641524E484F4C54;  // the same seed always gives the same bytes
    // Size of the largest pack of version 1; the others are a half, a quarter ... of it (and
    // never below a few KiB), so that a release mixes packs of many sizes.
    uint64_t largestPack = 40ull << 20;
    // Packs that change from one version to the next; every other pack stays as it is.
    std::set<int> changingPacks = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18, 20};
    // Share of a changing pack's bytes that each version rewrites besides its small edits, in
    // stretches of 64 KiB spread over the pack (0.1 for an update that changes a tenth).
    double rewrittenShare = 0.0;
};

// Writes the 21 packs "NAME.vh" of `version` (1, 2, ...) into `folder`, which is created.
// Each version of a changing pack differs from the one before in its first bytes (so its sampled
// checksum changes), in a few overwritten stretches, an inserted stretch and a longer tail, as a
// game update would. The resources pack (index 4) is a zip archive with subfolders, made with
// the zip program. Throws std::runtime_error.
void WriteGameVersion(const GameSpec& spec, int version, const std::filesystem::path& folder);

// Writes only pack `index` of `version` to `file`.
void WriteGamePack(const GameSpec& spec, int version, int index, const std::filesystem::path& file);

}  // namespace swarm
