// A release served as the launcher meets it: the update server on 127.0.0.1:8080, the tracker
// and a seeder of the release's archives, and a client folder with the test's update driver in it.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/engine/launcher_folder.h"
#include "tests/support/swarm/release.h"
#include "tests/support/swarm/seeder.h"
#include "tests/support/swarm/tracker.h"
#include "tests/support/update_server.h"

namespace update_test {

// How long a whole update through the swarm may take: these updates take under 10 s, also beside
// a parallel build. A download that stands still for a minute is a fault of the swarm (a peer
// refused and tried again only a minute later), not slowness.
inline constexpr std::chrono::seconds kUpdateRunLimit{60};

namespace fs = std::filesystem;

class LiveRelease {
public:
    // Serves the release in `folder`; the seeder starts only if `seeding`.
    LiveRelease(const fs::path& folder, const fs::path& workFolder, bool seeding = true);
    ~LiveRelease();

    varnholt::test::UpdateServer& Server() { return *m_server; }
    swarm::Seeder& Seeder() { return *m_seeder; }

private:
    swarm::Release m_release;
    std::unique_ptr<swarm::Tracker> m_tracker;
    std::unique_ptr<swarm::Seeder> m_seeder;
    std::unique_ptr<varnholt::test::UpdateServer> m_server;
};

// Copies a release folder, so that a test may damage the copy.
void CopyRelease(const fs::path& from, const fs::path& to);

// Replaces the archive "NAME.HEX.zip" of a release by one with the given entries and makes its
// torrent anew, so the swarm delivers the damaged archive.
void ReplaceArchive(const fs::path& releaseFolder, const std::string& archiveStem,
                    const std::vector<std::pair<std::string, std::string>>& entries);

// The stem "NAME.HEX" of the delta archive of pack `index` for the given old pack file.
std::string DeltaStem(int index, const fs::path& oldPack);

// The driver's run, read to its end.
engine_test::RunReport RunDriver(const engine_test::LauncherFolder& client,
                                 const std::vector<std::string>& args);

// The bytes of the delta from `from` to `to` as the release publishes it, made below `scratch`.
std::string MakeDelta(const fs::path& from, const fs::path& to, const fs::path& scratch);

// True when every pack file in `client` equals the one in `version`.
bool PacksEqual(const fs::path& clientPacks, const fs::path& version);

}  // namespace update_test
