// The demo's services over loopback: what a launcher reaches while they run, and that nothing
// of them is left once they stop, also when the start fails halfway.
#include "tools/demo_server/demo_services.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/reply_table.h"
#include "tests/support/swarm/game_version.h"
#include "tests/support/swarm/pack_checksum.h"
#include "tests/support/swarm/release.h"
#include "tests/support/swarm/tracker.h"

namespace {

namespace fs = std::filesystem;

class DemoServicesTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = fs::temp_directory_path() / ("demo-services-test-" + std::to_string(getpid()));
        fs::remove_all(s_folder);
        swarm::GameSpec game;
        game.largestPack = 64 << 10;
        swarm::WriteGameVersion(game, 1, s_folder / "packs-1");
        swarm::WriteGameVersion(game, 2, s_folder / "packs-2");
        swarm::MakeRelease({s_folder / "packs-1", s_folder / "packs-2"}, s_folder / "release");
    }
    static void TearDownTestSuite() { fs::remove_all(s_folder); }

    void SetUp() override {
        if (const std::string why = swarm::WhyTrackerCannotStart(); !why.empty())
            GTEST_SKIP() << why;
    }

    DemoServices::Log Logger() {
        return [this](const std::string& line) {
            std::lock_guard lock(m_logMutex);
            m_log.push_back(line);
        };
    }

    bool Logged(const std::string& part) {
        std::lock_guard lock(m_logMutex);
        for (const std::string& line : m_log)
            if (line.find(part) != std::string::npos) return true;
        return false;
    }

    static fs::path s_folder;
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
};

fs::path DemoServicesTest::s_folder;

// Holds 127.0.0.1:port open, as another program that got there first.
class Listener {
public:
    explicit Listener(uint16_t port) : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // Connections of an earlier case may linger in TIME_WAIT on the port.
        const int on = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_fd, 1) != 0)
            throw std::runtime_error("cannot listen on port " + std::to_string(port));
    }
    ~Listener() { close(m_fd); }

private:
    int m_fd;
};

TEST_F(DemoServicesTest, AnswersTheLauncherFromTheReleaseAndFreesEveryPortWhenStopped) {
    {
        DemoServices services(s_folder / "release", Logger());
        services.Start();
        EXPECT_FALSE(swarm::IsTcpPortFree(swarm::kTrackerPort));

        httplib::Client launcher("127.0.0.1", 8080);
        launcher.set_url_encode(false);  // the launcher sends its addresses as they stand
        char checksum[9];
        std::snprintf(checksum, sizeof checksum, "%08X",
                      swarm::PackChecksum(s_folder / "packs-2" / "scripts.vh"));
        const auto reply = launcher.Get(std::string("/info.php?Pack;scripts;") + checksum);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->body, varnholt::test::EncodeUtf16Le("ACTUAL!"));
        const auto torrent = launcher.Get("/patch/scripts.torrent");
        ASSERT_TRUE(torrent);
        EXPECT_EQ(torrent->status, 200);
        EXPECT_TRUE(Logged(std::string("GET /info.php?Pack;scripts;") + checksum + " 200"));

        services.Stop();
        EXPECT_TRUE(swarm::IsTcpPortFree(swarm::kTrackerPort));
        EXPECT_TRUE(swarm::IsTcpPortFree(8080));
        EXPECT_TRUE(Logged("tracker: stopped"));
        services.Stop();  // again, as the destructor does
    }
    EXPECT_TRUE(swarm::IsTcpPortFree(swarm::kTrackerPort));
}

TEST_F(DemoServicesTest, StopsTrackerAndSeederWhenTheServerCannotStart) {
    const Listener other(8080);
    {
        DemoServices services(s_folder / "release", Logger());
        EXPECT_THROW(services.Start(), std::runtime_error);
    }
    EXPECT_TRUE(swarm::IsTcpPortFree(swarm::kTrackerPort)) << "opentracker left running";
    EXPECT_TRUE(Logged("seeder: stopped"));
}

}  // namespace
