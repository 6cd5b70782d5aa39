#include "tests/update/live_release.h"

#include <fstream>
#include <iterator>

#include "tests/support/swarm/delta_file.h"
#include "tests/support/swarm/pack_checksum.h"
#include "tests/support/swarm/pack_names.h"
#include "tests/support/swarm/torrent_file.h"

namespace update_test {

LiveRelease::LiveRelease(const fs::path& folder, const fs::path& workFolder, bool seeding)
    : m_release(swarm::LoadRelease(folder)) {
    m_tracker = std::make_unique<swarm::Tracker>(m_release.infoHashes, workFolder / "tracker");
    m_seeder = std::make_unique<swarm::Seeder>(m_release.torrentFiles, m_release.PatchFolder());
    if (seeding) {
        m_seeder->Start();
        m_seeder->WaitUntilSeeding();
    }
    m_server = std::make_unique<varnholt::test::UpdateServer>();
    m_server->LoadRelease(folder);
    m_server->Replies().SetLauncherReply(varnholt::test::ServerReply::Text("1"));
    m_server->Start();
}

LiveRelease::~LiveRelease() {
    m_server.reset();
    m_seeder.reset();
    m_tracker.reset();
}

void CopyRelease(const fs::path& from, const fs::path& to) {
    fs::copy(from, to, fs::copy_options::recursive);
}

void ReplaceArchive(const fs::path& releaseFolder, const std::string& archiveStem,
                    const std::vector<std::pair<std::string, std::string>>& entries) {
    const fs::path patch = releaseFolder / "patch";
    fs::remove(patch / (archiveStem + ".zip"));
    engine_test::MakeZip(patch / (archiveStem + ".zip"), entries);
    swarm::MakeTorrentFile(patch / (archiveStem + ".zip"), patch / (archiveStem + ".torrent"),
                           swarm::kTrackerAnnounceUrl);
}

std::string DeltaStem(int index, const fs::path& oldPack) {
    return swarm::PackName(index) + "." + swarm::ChecksumText(swarm::PackChecksum(oldPack));
}

engine_test::RunReport RunDriver(const engine_test::LauncherFolder& client,
                                 const std::vector<std::string>& args) {
    engine_test::Driver driver(client.Launcher(), args);
    return engine_test::ParseReport(driver.ReadToEnd(kUpdateRunLimit), "2.0.0.0");
}

std::string MakeDelta(const fs::path& from, const fs::path& to, const fs::path& scratch) {
    fs::create_directories(scratch);
    const fs::path delta = scratch / (to.filename().string() + ".delta");
    swarm::MakeDeltaFile(from, to, delta);
    return engine_test::ReadFile(delta);
}

bool PacksEqual(const fs::path& clientPacks, const fs::path& version) {
    for (int i = 0; i < swarm::kPackTotal; ++i) {
        const fs::path mine = clientPacks / swarm::PackFileName(i);
        if (!fs::exists(mine)) return false;
        if (engine_test::ReadFile(mine) != engine_test::ReadFile(version / swarm::PackFileName(i)))
            return false;
    }
    return true;
}

}  // namespace update_test
