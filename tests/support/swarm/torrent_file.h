// .torrent files of a release.
#pragma once

#include <filesystem>
#include <string>

namespace swarm {

// Writes a v1-only .torrent file for the single file `payload`, naming the given tracker, and
// returns its info-hash as 40 lower-case hexadecimal digits. v1-only, because the hybrid torrents
// that libtorrent 2.0 makes by default add pad files that count in the torrent's total size.
// Throws std::runtime_error.
std::string MakeTorrentFile(const std::filesystem::path& payload,
                            const std::filesystem::path& torrentFile,
                            const std::string& trackerUrl);

// The v1 info-hash of a .torrent file, 40 lower-case hexadecimal digits. Throws
// std::runtime_error when the file cannot be read or parsed.
std::string ReadInfoHash(const std::filesystem::path& torrentFile);

}  // namespace swarm
