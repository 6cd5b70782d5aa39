// Turns versions of the game into what the update server publishes.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/swarm/tracker.h"

namespace swarm {

// Bad input for a release: a missing folder, a file that is no pack of the pack table, a pack
// missing from the current version, two versions of a pack the server could not tell apart, a
// delta that does not turn its old pack into the new one.
class ReleaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ReleaseOptions {
    std::string trackerUrl = kTrackerAnnounceUrl;
    // A newer launcher build, published as patch/VarnholtUpdate.exe with its size; empty: none.
    std::filesystem::path launcherUpdate;
    // The file version of launcherUpdate ("2.0.0.1"): launchers of any other version are told to
    // update themselves. Empty: every launcher counts as current.
    std::string launcherVersion;
    // The news page; empty: a default page.
    std::string newsPage;
    // Called before each step of the work with what it does, its number (from 1) and the count
    // of steps in its phase (first the checksums, then the archives).
    std::function<void(const std::string& what, int step, int steps)> onProgress;
};

// A release folder: replies.txt (the update server's reply table, keyed by the sampled
// checksums), news.html, and patch/ with the .torrent files and the archives they describe.
struct Release {
    std::filesystem::path folder;
    std::vector<std::filesystem::path> torrentFiles;
    std::vector<std::string> infoHashes;  // of torrentFiles, in the same order

    std::filesystem::path PatchFolder() const { return folder / "patch"; }
};

// Makes a release from folders of packs ("NAME.vh"), oldest version first; the last folder is
// the current version and must hold all 21 packs, older ones may lack some. For every pack:
//  - per older version that differs from the next: "NAME.HEX.zip" holding the xdelta3 delta
//    "NAME.HEX.patch" to the next different version, HEX being the older pack's sampled checksum,
//    with its v1-only torrent "NAME.HEX.torrent";
//  - "NAME.zip" holding the current pack as "NAME.patched", with its torrent "NAME.torrent";
//  - replies: "UPDATE!" for the checksums of older versions, "ACTUAL!" for the current one,
//    "CORRUPTED!" for every other checksum.
// Every delta is decoded by the launcher's decoder and compared with its new pack before it is
// zipped (CheckDeltaFile); a release with a delta that gives other bytes is refused.
// The release folder must be empty or not exist. Throws ReleaseError for bad input and
// std::runtime_error when a tool or a file operation fails.
Release MakeRelease(const std::vector<std::filesystem::path>& versionFolders,
                    const std::filesystem::path& releaseFolder, const ReleaseOptions& options = {});

// The torrents of an existing release folder, for its tracker and seeder.
Release LoadRelease(const std::filesystem::path& releaseFolder);

}  // namespace swarm
