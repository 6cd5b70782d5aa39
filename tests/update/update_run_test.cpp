// The whole update from the launcher's point of view: a real server, tracker and seeder on
// loopback, a client folder of packs, and the update driver run as the launcher.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "tests/engine/launcher_folder.h"
#include "tests/support/swarm/client_layout.h"
#include "tests/support/swarm/game_version.h"
#include "tests/support/swarm/pack_names.h"
#include "tests/update/live_release.h"
#include "update/status.h"

namespace {

namespace fs = std::filesystem;
using engine_test::LauncherFolder;
using engine_test::RunReport;
using update_test::kUpdateRunLimit;
using update_test::LiveRelease;
using update_test::PacksEqual;
using update_test::RunDriver;

// The test game changes a few packs per version, so that a pass needs only a few torrents (the
// library starts only a few of them at a time). Pack 0 is the largest: its whole download takes
// long enough to extract that the driver sees status 6.
const std::set<int> kChangingPacks = {1, 2, 4, 8, 16, 20};
constexpr int kCorruptedPack = 0;
constexpr int kMissingPack = 13;
constexpr int kChangedPack = 1;

// Indexes of the first appearance of each status, -1 when it never came.
int FirstIndexOf(const RunReport& report, int status) {
    for (size_t i = 0; i < report.statuses.size(); ++i)
        if (report.statuses[i].first == status) return static_cast<int>(i);
    return -1;
}

int LastPercentOf(const RunReport& report, int status) {
    int percent = -2;
    for (const auto& [s, p] : report.statuses)
        if (s == status) percent = p;
    return percent;
}

// How often the run entered a status from another one.
int TimesEntered(const RunReport& report, int status) {
    int count = 0;
    int previous = -1;
    for (const auto& [s, p] : report.statuses) {
        if (s == status && previous != status) ++count;
        previous = s;
    }
    return count;
}

class UpdateRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Outgoing connections must not borrow the launcher's ports 48130 to 48140, which the
        // tests take on purpose. The setting belongs to the network namespace, so it is made
        // only in one that has nothing but loopback (never on the machine's own).
        std::istringstream devices(engine_test::ReadFile("/proc/net/dev"));
        std::string line;
        int interfaces = 0;
        bool loopback = false;
        for (int row = 0; std::getline(devices, line); ++row) {
            if (row < 2) continue;  // the table's two header lines
            ++interfaces;
            loopback = loopback || line.find("lo:") != std::string::npos;
        }
        if (interfaces == 1 && loopback)
            std::ofstream("/proc/sys/net/ipv4/ip_local_port_range") << "49152 60999\n";
        std::string pattern = (fs::temp_directory_path() / "varnholt-update-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        s_root = pattern;
        swarm::GameSpec game;
        game.largestPack = 6 << 20;
        game.changingPacks = kChangingPacks;
        for (int version = 1; version <= 3; ++version) {
            swarm::WriteGameVersion(game, version, Version(version));
        }
        swarm::MakeRelease({Version(1), Version(2)}, s_root / "release");
        swarm::MakeRelease({Version(1), Version(2), Version(3)}, s_root / "release3");
    }

    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(s_root, ignored);
    }

    static fs::path Version(int version) { return s_root / ("v" + std::to_string(version)); }

    void SetUp() override {
        m_work = s_root / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(m_work);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_work, ignored);
    }

    // A client of version 1 with the given layout, the update driver as its launcher.
    std::unique_ptr<LauncherFolder> MakeClient(const swarm::ClientLayout& layout = {}) {
        auto client = std::make_unique<LauncherFolder>(UPDATE_DRIVER);
        swarm::MakeClientFolder(Version(1), client->Dir(), layout);
        return client;
    }

    // The server answers the request for the changed pack's .torrent file with this reply.
    static void ReplaceTorrent(LiveRelease& live, varnholt::test::ServerReply reply) {
        const std::string stem =
            update_test::DeltaStem(kChangedPack, Version(1) / swarm::PackFileName(kChangedPack));
        live.Server().Replies().SetReply("patch/" + stem + ".torrent", std::move(reply));
    }

    static fs::path ResumeRecord(const LauncherFolder& client) {
        return client.Dir() / "temp" / "resume.data";
    }

    static inline fs::path s_root;
    fs::path m_work;
};

TEST_F(UpdateRun, OutdatedClientBecomesTheNewVersion) {
    LiveRelease live(s_root / "release", m_work);
    auto client = MakeClient({{kMissingPack}, {kCorruptedPack}});

    const RunReport report = RunDriver(*client, {});

    ASSERT_EQ(report.FinalStatus(), STATUS_READY) << "error " << report.errorCode;
    EXPECT_EQ(report.errorCode, -1);
    EXPECT_TRUE(PacksEqual(client->Dir() / "packs", Version(2)));
    const int torrents = FirstIndexOf(report, STATUS_DOWNLOAD_TORRENTS);
    const int download = FirstIndexOf(report, STATUS_DOWNLOAD_PATCH);
    const int extract = FirstIndexOf(report, STATUS_EXTRACT_PATCH);
    const int install = FirstIndexOf(report, STATUS_INSTALL_PATCH);
    EXPECT_LT(FirstIndexOf(report, STATUS_CHECK_CLIENT), torrents);
    EXPECT_LT(torrents, download);
    EXPECT_LT(download, extract);
    EXPECT_LT(extract, install);
    for (const auto& [status, percent] : report.statuses) {
        EXPECT_LE(percent, 100) << "status " << status;
        EXPECT_GE(percent, -1) << "status " << status;
    }
    EXPECT_EQ(LastPercentOf(report, STATUS_DOWNLOAD_PATCH), 100);
    EXPECT_FALSE(fs::exists(client->Dir() / "temp")) << "the scratch folder outlives the exit";
    EXPECT_TRUE(report.exited);
}

TEST_F(UpdateRun, PackTwoVersionsBehindTakesTwoPasses) {
    LiveRelease live(s_root / "release3", m_work);
    auto client = MakeClient();

    const RunReport report = RunDriver(*client, {});

    ASSERT_EQ(report.FinalStatus(), STATUS_READY) << "error " << report.errorCode;
    EXPECT_TRUE(PacksEqual(client->Dir() / "packs", Version(3)));
    EXPECT_EQ(TimesEntered(report, STATUS_DOWNLOAD_TORRENTS), 2);
    EXPECT_EQ(TimesEntered(report, STATUS_INSTALL_PATCH), 2);
}

// A stop at one stage, then the next start answers the resume question with Yes.
class ResumedRun : public UpdateRun, public ::testing::WithParamInterface<std::string> {};

TEST_P(ResumedRun, FinishesWithoutFetchingWhatIsThere) {
    LiveRelease live(s_root / "release", m_work);
    auto client = MakeClient({{kMissingPack}, {}});

    const RunReport stopped = RunDriver(*client, {"--stop-at=" + GetParam()});
    ASSERT_EQ(stopped.FinalStatus(), STATUS_STOPPED) << "error " << stopped.errorCode;
    ASSERT_TRUE(fs::exists(ResumeRecord(*client)));
    EXPECT_EQ(stopped.errorCode, -1);
    const int64_t uploadedBefore = live.Seeder().UploadedBytes();

    const RunReport resumed = RunDriver(*client, {"--resume=yes"});

    ASSERT_EQ(resumed.FinalStatus(), STATUS_READY) << "error " << resumed.errorCode;
    EXPECT_TRUE(PacksEqual(client->Dir() / "packs", Version(2)));
    EXPECT_EQ(live.Seeder().UploadedBytes(), uploadedBefore) << "downloaded again";
    const int stage = std::stoi(GetParam());
    if (stage > STATUS_DOWNLOAD_PATCH) {
        EXPECT_FALSE(resumed.Saw(STATUS_DOWNLOAD_TORRENTS));
    }
}

// Stage 5 stops once everything has arrived, so that nothing is left to fetch.
INSTANTIATE_TEST_SUITE_P(Stages, ResumedRun, ::testing::Values("5:100", "6", "7"),
                         [](const auto& param) { return "Stage" + param.param.substr(0, 1); });

TEST_F(UpdateRun, ResumeAnsweredNoStartsAfresh) {
    LiveRelease live(s_root / "release", m_work);
    auto client = MakeClient();
    ASSERT_EQ(RunDriver(*client, {"--stop-at=7"}).FinalStatus(), STATUS_STOPPED);
    const int64_t uploadedBefore = live.Seeder().UploadedBytes();

    const RunReport fresh = RunDriver(*client, {"--resume=no"});

    ASSERT_EQ(fresh.FinalStatus(), STATUS_READY) << "error " << fresh.errorCode;
    EXPECT_TRUE(fresh.Saw(STATUS_DOWNLOAD_PATCH));
    EXPECT_GT(live.Seeder().UploadedBytes(), uploadedBefore);
    EXPECT_TRUE(PacksEqual(client->Dir() / "packs", Version(2)));
}

TEST_F(UpdateRun, SeederArrivingLateStillCompletesTheDownload) {
    LiveRelease live(s_root / "release", m_work, /*seeding=*/false);
    auto client = MakeClient();
    engine_test::Driver driver(client->Launcher(), {});
    driver.ReadUntil("status 5");
    live.Seeder().Start();

    const RunReport report = engine_test::ParseReport(driver.ReadToEnd(kUpdateRunLimit), "2.0.0.0");

    ASSERT_EQ(report.FinalStatus(), STATUS_READY) << "error " << report.errorCode;
    EXPECT_TRUE(PacksEqual(client->Dir() / "packs", Version(2)));
}

TEST_F(UpdateRun, TorrentAnswered404FailsBeforeTheDownload) {
    LiveRelease live(s_root / "release", m_work);
    auto client = MakeClient();
    ReplaceTorrent(live, varnholt::test::ServerReply::Status(404));

    const RunReport report = RunDriver(*client, {});

    EXPECT_EQ(report.FinalStatus(), STATUS_ERROR);
    EXPECT_EQ(report.errorCode, 922);
    EXPECT_NE(report.errorMessage.find("connection to the update server"), std::string::npos);
    // Status 4 may be over before the driver's next poll, so only "not later than 4" is asked.
    EXPECT_LE(report.statuses.at(report.statuses.size() - 2).first, STATUS_DOWNLOAD_TORRENTS);
    EXPECT_FALSE(report.Saw(STATUS_DOWNLOAD_PATCH));
    EXPECT_FALSE(fs::exists(ResumeRecord(*client)));
}

// A .torrent file the BitTorrent library cannot parse fails the update like any other error.
TEST_F(UpdateRun, TorrentThatDoesNotParseEndsTheUpdateAsAnError) {
    LiveRelease live(s_root / "release", m_work);
    auto client = MakeClient();
    ReplaceTorrent(live, varnholt::test::ServerReply::Bytes("d4:infoi1ee"));

    const RunReport report = RunDriver(*client, {});

    EXPECT_EQ(report.FinalStatus(), STATUS_ERROR);
    EXPECT_EQ(report.errorCode, -1);
    EXPECT_TRUE(report.exited);
    EXPECT_TRUE(PacksEqual(client->Dir() / "packs", Version(1)));
}

// TCP ports listening in this network namespace.
std::set<int> ListeningPorts() {
    std::set<int> ports;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::istringstream lines(engine_test::ReadFile(table));
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (state == "0A")
                ports.insert(std::stoi(local.substr(local.find(':') + 1), nullptr, 16));
        }
    }
    return ports;
}

// Holds a listening socket on 0.0.0.0:port.
class PortTaker {
public:
    explicit PortTaker(int port) : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        // Connections of earlier launchers may still linger on the port.
        const int on = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_fd, 1) != 0)
            throw std::runtime_error("cannot take port " + std::to_string(port));
    }
    ~PortTaker() { close(m_fd); }

private:
    int m_fd;
};

// The launcher listens on the first free port of 48130 to 48140 and never outside that range
// (with all of them taken it cannot take part in the swarm, and the player stops it), and its
// session keeps seeding after the update until the player closes the launcher.
class ListenRange : public UpdateRun, public ::testing::WithParamInterface<int> {};

TEST_P(ListenRange, SessionListensOnlyInItsRangeUntilExit) {
    const int takenPorts = GetParam();
    const bool rangeFull = takenPorts > 10;
    LiveRelease live(s_root / "release", m_work);
    const std::set<int> others = ListeningPorts();
    std::vector<std::unique_ptr<PortTaker>> taken;
    for (int port = 48130; port < 48130 + takenPorts; ++port)
        taken.push_back(std::make_unique<PortTaker>(port));
    auto client = MakeClient();
    engine_test::Driver driver(client->Launcher(), {rangeFull ? "--stop-at=5" : "--hold"});
    driver.ReadUntil(rangeFull ? " status 5 " : " error ");
    if (rangeFull) std::this_thread::sleep_for(std::chrono::milliseconds(300));

    std::set<int> launcher;
    for (int port : ListeningPorts())
        if (!others.count(port) && (port < 48130 || port >= 48130 + takenPorts))
            launcher.insert(port);
    driver.Close();
    const RunReport report =
        engine_test::ParseReport(driver.ReadToEnd(std::chrono::seconds(60)), "2.0.0.0");

    if (rangeFull) {
        EXPECT_EQ(report.FinalStatus(), STATUS_STOPPED);
        EXPECT_TRUE(launcher.empty()) << "listens on " << *launcher.begin();
    } else {
        EXPECT_EQ(report.FinalStatus(), STATUS_READY) << "error " << report.errorCode;
        EXPECT_EQ(launcher, std::set<int>{48130 + takenPorts});
    }
    EXPECT_TRUE(report.exited);
    EXPECT_FALSE(ListeningPorts().count(48130 + takenPorts));
}

INSTANTIATE_TEST_SUITE_P(TakenPorts, ListenRange, ::testing::Values(0, 1, 11));

struct BrokenArchive {
    const char* name;
    bool withDelta;  // else the archive lacks its delta file
    int errorCode;
    const char* message;
};

class BrokenArchiveRun : public UpdateRun, public ::testing::WithParamInterface<BrokenArchive> {};

// Every pack stays as it was: nothing is installed from a pass that failed.
TEST_P(BrokenArchiveRun, FailsAndLeavesThePacksAlone) {
    const fs::path oldPack = Version(1) / swarm::PackFileName(kChangedPack);
    const std::string stem = update_test::DeltaStem(kChangedPack, oldPack);
    const fs::path release = m_work / "release";
    update_test::CopyRelease(s_root / "release", release);
    if (GetParam().withDelta) {
        // Cut inside a window: every chunk decodes, the end finds the window incomplete.
        const std::string delta = update_test::MakeDelta(
            oldPack, Version(2) / swarm::PackFileName(kChangedPack), m_work / "delta");
        update_test::ReplaceArchive(release, stem,
                                    {{stem + ".patch", delta.substr(0, delta.size() / 2)}});
    } else {
        update_test::ReplaceArchive(release, stem, {{stem + ".txt", "no delta here"}});
    }
    LiveRelease live(release, m_work);
    auto client = MakeClient();

    const RunReport report = RunDriver(*client, {});

    EXPECT_EQ(report.FinalStatus(), STATUS_ERROR);
    EXPECT_EQ(report.errorCode, GetParam().errorCode);
    EXPECT_NE(report.errorMessage.find(GetParam().message), std::string::npos)
        << report.errorMessage;
    EXPECT_TRUE(PacksEqual(client->Dir() / "packs", Version(1)));
}

INSTANTIATE_TEST_SUITE_P(
    Archives, BrokenArchiveRun,
    ::testing::Values(BrokenArchive{"CutDelta", true, 833, "during the download"},
                      BrokenArchive{"NoDelta", false, 586, "game client files"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(UpdateRun, FileInPlaceOfThePacksFolderFailsTheInstall) {
    LiveRelease live(s_root / "release", m_work);
    LauncherFolder client(UPDATE_DRIVER);
    engine_test::WriteFile(client.Dir() / "packs", "not a folder");

    const RunReport report = RunDriver(client, {});

    EXPECT_EQ(report.FinalStatus(), STATUS_ERROR);
    EXPECT_EQ(report.errorCode, 599);
    EXPECT_NE(report.errorMessage.find("game client files"), std::string::npos);
    EXPECT_EQ(engine_test::ReadFile(client.Dir() / "packs"), "not a folder");
}

}  // namespace
