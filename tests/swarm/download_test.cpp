#include <gtest/gtest.h>

#include <chrono>
#include <libtorrent/fingerprint.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>
#include <thread>

#include "tests/support/swarm/seeder.h"
#include "tests/support/swarm/tracker.h"
#include "tests/swarm/release_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace swarm;
using namespace swarm_test;

// A download session set up as the launcher sets up its own: every interface, ports 48130 to
// 48140, no extensions, DHT, local service discovery or port mapping, and no IP filter.
class LauncherLikeDownload {
public:
    LauncherLikeDownload() : m_session(lt::session_params(Settings())) {}

    void Add(const fs::path& torrent, const fs::path& savePath) {
        lt::add_torrent_params params;
        params.ti = std::make_shared<lt::torrent_info>(torrent.string());
        params.save_path = savePath.string();
        m_torrents.push_back(m_session.add_torrent(std::move(params)));
    }

    // True when every torrent finished within the timeout.
    bool WaitUntilFinished(std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            bool finished = true;
            for (const lt::torrent_handle& torrent : m_torrents) {
                finished = finished && torrent.status().is_finished;
            }
            if (finished) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

private:
    static lt::settings_pack Settings() {
        lt::settings_pack pack;
        pack.set_str(lt::settings_pack::listen_interfaces, "0.0.0.0:48130");
        pack.set_int(lt::settings_pack::max_retry_port_bind, 10);
        pack.set_bool(lt::settings_pack::listen_system_port_fallback, false);
        pack.set_str(lt::settings_pack::peer_fingerprint,
                     lt::generate_fingerprint("VH", 2, 0, 0, 0));
        pack.set_int(lt::settings_pack::alert_mask, lt::alert_category::error);
        pack.set_bool(lt::settings_pack::enable_dht, false);
        pack.set_bool(lt::settings_pack::enable_lsd, false);
        pack.set_bool(lt::settings_pack::enable_upnp, false);
        pack.set_bool(lt::settings_pack::enable_natpmp, false);
        return pack;
    }

    lt::session m_session;
    std::vector<lt::torrent_handle> m_torrents;
};

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

TEST_F(SwarmTest, LauncherLikeSessionFetchesEveryArchiveByteForByte) {
    Tracker tracker(TheRelease().infoHashes, m_work.Path());
    Seeder seeder(TheRelease().torrentFiles, TheRelease().PatchFolder());
    seeder.Start();
    seeder.WaitUntilSeeding();

    const fs::path saved = m_work.Path() / "temp";
    LauncherLikeDownload download;
    for (const fs::path& torrent : TheRelease().torrentFiles) download.Add(torrent, saved);
    ASSERT_TRUE(download.WaitUntilFinished(60s));
    ExpectSameArchives(TheRelease().torrentFiles, saved);
    EXPECT_GT(seeder.UploadedBytes(), 0);
}

TEST_F(SwarmTest, SeederThatAppearsAfterTheDownloadStartedStillServesIt) {
    Tracker tracker(TheRelease().infoHashes, m_work.Path());
    const std::vector<fs::path> torrents(TheRelease().torrentFiles.begin(),
                                         TheRelease().torrentFiles.begin() + 3);
    const fs::path saved = m_work.Path() / "temp";
    LauncherLikeDownload download;
    for (const fs::path& torrent : torrents) download.Add(torrent, saved);
    EXPECT_FALSE(download.WaitUntilFinished(2s));

    Seeder seeder(torrents, TheRelease().PatchFolder());
    seeder.Start();
    ASSERT_TRUE(download.WaitUntilFinished(60s));
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
    LauncherLikeDownload download;
    for (const fs::path& torrent : torrents) download.Add(torrent, saved);
    ASSERT_TRUE(download.WaitUntilFinished(60s));
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
