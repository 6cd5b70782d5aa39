#include <gtest/gtest.h>

#include <chrono>
#include <libtorrent/bdecode.hpp>
#include <libtorrent/torrent_info.hpp>
#include <thread>

#include "tests/support/swarm/seeder.h"
#include "tests/support/swarm/tracker.h"
#include "tests/swarm/raw_peer.h"
#include "tests/swarm/release_fixture.h"
#include "update/torrent_session.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace swarm;
using namespace swarm_test;

// The version the launcher's session is given in these tests, and the peer id prefix it makes.
constexpr uint64_t kLauncherVersion = 0x0001000200030004;
constexpr const char* kPeerIdPrefix = "-VH1234-";

// Adds every torrent to the launcher's session, saving below savePath; returns their numbers.
std::vector<int> AddAll(CTorrentSession& session, const std::vector<fs::path>& torrents,
                        const fs::path& savePath) {
    std::vector<int> added;
    for (const fs::path& torrent : torrents)
        added.push_back(session.AddTorrent(torrent.string(), savePath.string()));
    return added;
}

// True when every torrent finished within the timeout.
bool WaitUntilFinished(const CTorrentSession& session, const std::vector<int>& torrents,
                       std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        bool finished = true;
        for (int torrent : torrents) finished = session.IsFinished(torrent) && finished;
        if (finished) return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

class SwarmTest : public TwoVersionReleaseTest {
protected:
    void SetUp() override {
        if (const std::string why = WhyTrackerCannotStart(); !why.empty()) GTEST_SKIP() << why;
    }

    static const Release& TheRelease() { return s_made->release; }

    void ExpectSameArchives(const std::vector<fs::path>& torrents, const fs::path& saved) {
        for (const fs::path& torrent : torrents) {
            const fs::path archive = fs::path(torrent).replace_extension(".zip");
            ASSERT_TRUE(fs::exists(saved / archive.filename())) << archive.filename();
            EXPECT_EQ(ReadFile(saved / archive.filename()), ReadFile(archive))
                << archive.filename();
        }
    }

    TempFolder m_work;
};

TEST_F(SwarmTest, LaunchersSessionFetchesEveryArchiveByteForByte) {
    Tracker tracker(TheRelease().infoHashes, m_work.Path());
    Seeder seeder(TheRelease().torrentFiles, TheRelease().PatchFolder());
    seeder.Start();
    seeder.WaitUntilSeeding();

    const fs::path saved = m_work.Path() / "temp";
    CTorrentSession session(kLauncherVersion);
    const std::vector<int> added = AddAll(session, TheRelease().torrentFiles, saved);
    ASSERT_TRUE(WaitUntilFinished(session, added, 60s));
    ExpectSameArchives(TheRelease().torrentFiles, saved);
    EXPECT_GT(seeder.UploadedBytes(), 0);
}

// What the launcher's session tells every peer it meets: its "VH" peer id with the launcher's
// version, and none of the library's extensions (metadata, peer and tracker exchange) among the
// messages of its extended handshake. The messages the library's peer connection always speaks
// (upload_only, lt_donthave, share_mode, ut_holepunch) are no extensions that can be left out.
TEST_F(SwarmTest, LaunchersSessionGreetsPeersAsVarnholtWithoutExtensions) {
    const fs::path torrent = TheRelease().torrentFiles.front();
    CTorrentSession session(kLauncherVersion);
    session.AddTorrent(torrent.string(), (m_work.Path() / "temp").string());
    const std::string infoHash = lt::torrent_info(torrent.string()).info_hashes().v1.to_string();

    const PeerGreeting greeting = GreetSession("127.0.0.3", "127.0.0.1", 48130, infoHash, 30s);

    EXPECT_EQ(greeting.peerId.substr(0, 8), kPeerIdPrefix);
    lt::error_code error;
    const lt::bdecode_node handshake = lt::bdecode(greeting.extendedHandshake, error);
    ASSERT_FALSE(error) << "no extended handshake: " << error.message();
    const lt::bdecode_node messages = handshake.dict_find_dict("m");
    ASSERT_TRUE(messages) << lt::print_entry(handshake);
    for (const char* extension : {"ut_metadata", "ut_pex", "lt_tex"})
        EXPECT_FALSE(messages.dict_find(extension)) << "offers " << extension;
}

TEST_F(SwarmTest, SeederThatAppearsAfterTheDownloadStartedStillServesIt) {
    Tracker tracker(TheRelease().infoHashes, m_work.Path());
    const std::vector<fs::path> torrents(TheRelease().torrentFiles.begin(),
                                         TheRelease().torrentFiles.begin() + 3);
    const fs::path saved = m_work.Path() / "temp";
    CTorrentSession session(kLauncherVersion);
    const std::vector<int> added = AddAll(session, torrents, saved);
    EXPECT_FALSE(WaitUntilFinished(session, added, 2s));

    Seeder seeder(torrents, TheRelease().PatchFolder());
    seeder.Start();
    ASSERT_TRUE(WaitUntilFinished(session, added, 60s));
    ExpectSameArchives(torrents, saved);
}

TEST_F(SwarmTest, SeederStoppedAndStartedAgainServesANewDownload) {
    Tracker tracker(TheRelease().infoHashes, m_work.Path());
    const std::vector<fs::path> torrents(TheRelease().torrentFiles.end() - 2,
                                         TheRelease().torrentFiles.end());
    Seeder seeder(torrents, TheRelease().PatchFolder());
    seeder.Start();
    seeder.WaitUntilSeeding();
    seeder.Stop();
    EXPECT_FALSE(seeder.IsRunning());
    EXPECT_EQ(seeder.UploadedBytes(), 0);

    seeder.Start();
    seeder.WaitUntilSeeding();
    const fs::path saved = m_work.Path() / "temp";
    CTorrentSession session(kLauncherVersion);
    ASSERT_TRUE(WaitUntilFinished(session, AddAll(session, torrents, saved), 60s));
    ExpectSameArchives(torrents, saved);
}

// A client that announces before the tracker knows the seeder gets no peer for half an hour.
TEST_F(SwarmTest, SeederIsNotReadyUntilTheTrackerHasAnsweredEveryTorrent) {
    const std::vector<std::string> admitted(TheRelease().infoHashes.begin() + 1,
                                            TheRelease().infoHashes.end());
    Tracker tracker(admitted, m_work.Path());
    Seeder seeder(TheRelease().torrentFiles, TheRelease().PatchFolder());
    seeder.Start();
    try {
        seeder.WaitUntilSeeding(5s);
        ADD_FAILURE() << "ready while the tracker refuses a torrent";
    } catch (const std::runtime_error& error) {
        const std::string what = error.what();
        EXPECT_NE(what.find(TheRelease().torrentFiles.front().string()), std::string::npos) << what;
        EXPECT_NE(what.find("not authorized"), std::string::npos) << what;
    }
}

TEST(SeederTest, SaysSoWhenItsPortIsTaken) {
    const int taker = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(taker, 0);
    // Earlier tests leave connections of the seeder's port in TIME_WAIT.
    const int on = 1;
    setsockopt(taker, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kSeederPort);
    inet_pton(AF_INET, kSeederAddress, &address.sin_addr);
    ASSERT_EQ(bind(taker, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(taker, 1), 0);

    Seeder seeder({}, fs::temp_directory_path());
    try {
        seeder.Start();
        ADD_FAILURE() << "the seeder started on a taken port";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("cannot listen on 127.0.0.2:6881"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(seeder.IsRunning());
    close(taker);
}

TEST(TrackerTest, RefusesATakenPortAndFreesItsOwnWhenDestroyed) {
    if (const std::string why = WhyTrackerCannotStart(); !why.empty()) GTEST_SKIP() << why;
    TempFolder work;
    {
        Tracker tracker({std::string(40, 'a')}, work.Path());
        EXPECT_FALSE(IsTcpPortFree(kTrackerPort));
        EXPECT_THROW(Tracker({std::string(40, 'b')}, work.Path() / "second"), std::runtime_error);
    }
    EXPECT_TRUE(IsTcpPortFree(kTrackerPort));
    EXPECT_THROW(Tracker({"not a hash"}, work.Path()), std::invalid_argument);
    EXPECT_TRUE(IsTcpPortFree(kTrackerPort));
}

TEST(TrackerTest, EndsWithTheThreadThatStartedItEvenWhenNeverStopped) {
    if (const std::string why = WhyTrackerCannotStart(); !why.empty()) GTEST_SKIP() << why;
    TempFolder work;
    // Never destroyed while the test runs, as if its owner had crashed; the process's exit
    // destroys it and reaps the ended tracker.
    static std::unique_ptr<Tracker> abandoned;
    std::thread([&work]() {
        abandoned = std::make_unique<Tracker>(std::vector<std::string>{}, work.Path());
    }).join();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!IsTcpPortFree(kTrackerPort) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(IsTcpPortFree(kTrackerPort));
}

}  // namespace
