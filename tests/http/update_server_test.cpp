#include "tests/support/update_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/http_client.h"

namespace fs = std::filesystem;
using varnholt::test::EncodeUtf16Le;
using varnholt::test::ServerReply;
using varnholt::test::UpdateServer;

namespace {

struct Answer {
    DWORD status = 0;
    std::string body;
};

Answer Get(const UpdateServer& server, const std::string& address) {
    CInternetSession session(L"Varnholt Launcher");
    std::unique_ptr<CHttpFile> file(
        session.OpenURL(CString((server.BaseUrl() + address).c_str()), 1, INTERNET_FLAG_RELOAD));
    Answer answer;
    char chunk[4096];
    while (UINT n = file->Read(chunk, sizeof chunk)) answer.body.append(chunk, n);
    file->QueryInfoStatusCode(answer.status);
    return answer;
}

class UpdateServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_release = fs::temp_directory_path() / ("varnholt-release-" + std::to_string(getpid()));
        fs::create_directories(m_release / "patch");
    }
    void TearDown() override { fs::remove_all(m_release); }

    void WriteFile(const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    fs::path m_release;
};

TEST(Utf16Encoding, EncodesEveryPlaneWithoutAByteOrderMark) {
    EXPECT_EQ(EncodeUtf16Le("A!"), std::string("A\0!\0", 4));
    EXPECT_EQ(EncodeUtf16Le("Ж"), std::string("\x16\x04", 2));
    EXPECT_EQ(EncodeUtf16Le("\xF0\x9F\x98\x80"), std::string("\x3D\xD8\x00\xDE", 4));
    EXPECT_THROW(EncodeUtf16Le("\xD0"), std::invalid_argument);
    EXPECT_THROW(EncodeUtf16Le("\x80"), std::invalid_argument);
}

TEST_F(UpdateServerTest, ServesAReleaseFolderAsTheLauncherAsksForIt) {
    WriteFile(m_release / "replies.txt",
              "# launcher 2.0.0.1 is current\n"
              "launcher\t1\n"
              "launcher-size\t4\n"
              "pack\tscripts\t0000ABCD\tUPDATE!\r\n"
              "\n"
              "pack-unknown\tCORRUPTED!\n"
              "status\tpatch/gone.torrent\t410\n");
    WriteFile(m_release / "news.html", "<p>news</p>");
    WriteFile(m_release / "patch" / "VarnholtUpdate.exe",
              "\x7f"
              "ELF");
    WriteFile(m_release / "secret", "outside");
    UpdateServer server(0);
    server.LoadRelease(m_release);
    server.Start();

    EXPECT_EQ(Get(server, "info.php?2.0.0.0;Launcher").body, EncodeUtf16Le("1"));
    EXPECT_EQ(Get(server, "info.php?Size;Launcher").body, EncodeUtf16Le("4"));
    EXPECT_EQ(Get(server, "info.php?Pack;scripts;0000ABCD").body, EncodeUtf16Le("UPDATE!"));
    EXPECT_EQ(Get(server, "info.php?Pack;scripts;0000ABCE").body, EncodeUtf16Le("CORRUPTED!"));
    EXPECT_EQ(Get(server, "news.html").body, "<p>news</p>");
    // A browser renders the news page only when it is said to be HTML.
    httplib::Client browser("127.0.0.1", server.Port());
    const auto page = browser.Get("/news.html");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(Get(server, "patch/VarnholtUpdate.exe").body,
              "\x7f"
              "ELF");
    EXPECT_EQ(Get(server, "patch/gone.torrent").status, 410u);
    EXPECT_EQ(Get(server, "patch/../secret").status, 404u);
    EXPECT_EQ(Get(server, "patch/%2E%2E/secret").status, 404u);
    EXPECT_EQ(Get(server, "info.php?Other").status, 404u);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 11u);
    EXPECT_EQ(requests[2].address, "info.php?Pack;scripts;0000ABCD");
    EXPECT_EQ(requests[2].userAgent, "Varnholt Launcher");
}

TEST_F(UpdateServerTest, TellsOnlyOlderLaunchersToUpdateWhenAVersionIsCurrent) {
    WriteFile(m_release / "replies.txt", "launcher\t1\nlauncher-current\t2.0.0.1\n");
    UpdateServer server(0);
    server.LoadRelease(m_release);
    server.Start();
    EXPECT_EQ(Get(server, "info.php?2.0.0.0;Launcher").body, EncodeUtf16Le("0"));
    EXPECT_EQ(Get(server, "info.php?2.0.0.1;Launcher").body, EncodeUtf16Le("1"));
    EXPECT_EQ(Get(server, "info.php?2.0.0.10;Launcher").body, EncodeUtf16Le("0"));
}

TEST_F(UpdateServerTest, RefusesAReleaseFileItCannotReadNamingTheLine) {
    WriteFile(m_release / "replies.txt", "launcher\t1\npack\tscripts\tUPDATE!\n");
    UpdateServer server(0);
    try {
        server.LoadRelease(m_release);
        FAIL() << "a pack line without a checksum was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("replies.txt:2"), std::string::npos);
    }
}

TEST_F(UpdateServerTest, SecondServerOnATakenPortFailsToStart) {
    UpdateServer first(0);
    first.Start();
    UpdateServer second(first.Port());
    EXPECT_THROW(second.Start(), std::runtime_error);
}

}  // namespace
