// VCDIFF delta files as the update server publishes them.
#pragma once

#include <filesystem>

namespace swarm {

// Writes the delta from `oldPack` to `newPack` with xdelta3 in the plain RFC 3284 form that the
// launcher's decoder reads: no application header, no secondary compression, no checksum, and
// the packs taken as they stand (a pack that happens to look gzipped is not unpacked first).
// Throws std::runtime_error.
void MakeDeltaFile(const std::filesystem::path& oldPack, const std::filesystem::path& newPack,
                   const std::filesystem::path& delta);

}  // namespace swarm
