// The proof, before a delta is published, that it gives players the new pack.
#pragma once

#include <filesystem>

namespace swarm {

// Decodes `delta` against `oldPack` as the launcher patches a pack (the engine's source reader
// and decoder settings; the old pack read on demand, the output compared as it comes, no pack
// held whole) and compares the result with `newPack` byte for byte. A damaged delta may decode
// into a pack with the new pack's sampled checksum, which the update server then calls current,
// so nothing later would catch it. Throws ReleaseError naming the delta and the new pack when
// the delta cannot be decoded or gives other bytes, std::runtime_error when a file cannot be
// read.
void CheckDeltaFile(const std::filesystem::path& oldPack, const std::filesystem::path& delta,
                    const std::filesystem::path& newPack);

}  // namespace swarm
