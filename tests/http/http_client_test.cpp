#include "platform/http_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/update_server.h"

namespace fs = std::filesystem;
using varnholt::test::ServerReply;
using varnholt::test::UpdateServer;

namespace {

constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_BINARY;

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return -1;
}

// FNV-1a over a stream of chunks.
struct Digest {
    std::uint64_t value = 1469598103934665603ull;
    void Add(const char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            value = (value ^ static_cast<unsigned char>(data[i])) * 1099511628211ull;
    }
};

class HttpClient : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("VARNHOLT_HTTP_TIMEOUT_SECONDS");
        m_folder = fs::temp_directory_path() /
                   ("varnholt-http-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_folder / "patch");
        m_server.SetPatchFolder(m_folder / "patch");
        m_server.Start();
    }
    void TearDown() override {
        m_server.Stop();
        fs::remove_all(m_folder);
        unsetenv("VARNHOLT_HTTP_TIMEOUT_SECONDS");
    }

    CString Url(const std::string& address) const {
        return CString((m_server.BaseUrl() + address).c_str());
    }

    // A patch file of pseudo-random bytes; returns its digest.
    std::uint64_t MakePatchFile(const std::string& name, std::size_t size) {
        std::mt19937_64 random(size);
        std::vector<char> data(size);
        for (char& byte : data) byte = static_cast<char>(random());
        std::ofstream(m_folder / "patch" / name, std::ios::binary).write(data.data(), size);
        Digest digest;
        digest.Add(data.data(), data.size());
        return digest.value;
    }

    std::unique_ptr<CHttpFile> Open(CInternetSession& session, const std::string& address,
                                    DWORD flags = kRequestFlags, LPCTSTR headers = nullptr) {
        return std::unique_ptr<CHttpFile>(session.OpenURL(Url(address), 1, flags, headers));
    }

    fs::path m_folder;
    UpdateServer m_server{0};
    CInternetSession m_session{L"Varnholt Launcher"};
};

// Reads the whole body in chunks of chunkSize; returns its digest.
std::uint64_t ReadAll(CHttpFile& file, std::size_t chunkSize, std::size_t* total) {
    std::vector<char> chunk(chunkSize);
    Digest digest;
    *total = 0;
    while (UINT n = file.Read(chunk.data(), static_cast<UINT>(chunk.size()))) {
        digest.Add(chunk.data(), n);
        *total += n;
    }
    return digest.value;
}

TEST_F(HttpClient, StreamsALargeBodyThroughBoundedMemoryInAnyChunkSize) {
    const std::size_t size = 48 * 1024 * 1024 + 7;
    const std::uint64_t expected = MakePatchFile("large.zip", size);
    for (std::size_t chunkSize : {std::size_t{4096}, std::size_t{1} << 20}) {
        const long before = ResidentKiB();
        auto file = Open(m_session, "patch/large.zip");
        std::size_t total = 0;
        EXPECT_EQ(ReadAll(*file, chunkSize, &total), expected) << chunkSize;
        EXPECT_EQ(total, size);
        DWORD status = 0;
        EXPECT_TRUE(file->QueryInfoStatusCode(status));
        EXPECT_EQ(status, 200u);
        // Neither the client nor the server in this process may hold the body whole. (The
        // address sanitizer keeps freed memory resident, so resident size says nothing there.)
#ifndef __SANITIZE_ADDRESS__
        EXPECT_LT(ResidentKiB() - before, 16 * 1024) << chunkSize;
#else
        (void)before;
#endif
        EXPECT_EQ(file->Read(nullptr, 0), 0u);
    }
}

TEST_F(HttpClient, ReadFillsTheRequestedCountAndReportsTheStatusAfterTheBody) {
    m_server.Replies().SetReply("info.php?Size;Launcher", ServerReply::Text("200000"));
    m_server.Replies().SetReply("patch/missing.torrent",
                                ServerReply::Bytes(std::string(3000, 'e'), 404));

    auto text = Open(m_session, "info.php?Size;Launcher");
    char buffer[1024];
    ASSERT_EQ(text->Read(buffer, sizeof buffer), 12u);
    EXPECT_EQ(std::string(buffer, 4), std::string("2\0000\0", 4));
    EXPECT_EQ(text->Read(buffer, sizeof buffer), 0u);

    auto page = Open(m_session, "patch/missing.torrent");
    std::size_t total = 0;
    ReadAll(*page, 1024, &total);
    EXPECT_EQ(total, 3000u);
    DWORD status = 0;
    EXPECT_TRUE(page->QueryInfoStatusCode(status));
    EXPECT_EQ(status, 404u);

    // Nothing scripted and no such file: the server's own 404.
    auto unknown = Open(m_session, "patch/none.torrent");
    unknown->Read(buffer, sizeof buffer);
    EXPECT_TRUE(unknown->QueryInfoStatusCode(status));
    EXPECT_EQ(status, 404u);
}

TEST_F(HttpClient, SendsTheAgentAndAsksCachesForAFreshReply) {
    m_server.Replies().SetNewsPage("<html></html>");
    Open(m_session, "news.html");
    Open(m_session, "news.html", INTERNET_FLAG_TRANSFER_BINARY, L"X-Probe: 1\r\nX-Other: 2\r\n");

    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].address, "news.html");
    EXPECT_EQ(requests[0].userAgent, "Varnholt Launcher");
    EXPECT_EQ(requests[0].cacheControl, "no-cache");
    EXPECT_EQ(requests[0].pragma, "no-cache");
    EXPECT_EQ(requests[1].cacheControl, "");
}

TEST_F(HttpClient, RefusedConnectionThrowsAnInternetExceptionNamingTheUrl) {
    UpdateServer closed(0);
    closed.Start();
    const std::string url = closed.BaseUrl() + "info.php?2.0.0.0;Launcher";
    closed.Stop();  // the port is now refused

    try {
        m_session.OpenURL(CString(url.c_str()), 1, kRequestFlags);
        FAIL() << "no exception";
    } catch (CInternetException* e) {
        EXPECT_EQ(e->m_dwError, ERROR_INTERNET_CANNOT_CONNECT);
        const std::string message = CStringA(e->GetErrorMessage()).GetString();
        EXPECT_NE(message.find(url), std::string::npos) << message;
        EXPECT_NE(message.find("connect"), std::string::npos) << message;
        e->Delete();
    }
}

TEST_F(HttpClient, StalledServerFailsWithinTheTimeoutInsteadOfHanging) {
    setenv("VARNHOLT_HTTP_TIMEOUT_SECONDS", "1", 1);
    CInternetSession session(L"Varnholt Launcher");
    const std::string body(100000, 'x');
    ServerReply halfSent = ServerReply::Bytes(body);
    halfSent.stallAfter = 5000;
    m_server.Replies().SetReply("patch/half.zip", halfSent);

    auto start = std::chrono::steady_clock::now();
    auto file = Open(session, "patch/half.zip");
    std::vector<char> buffer(4096);
    EXPECT_EQ(file->Read(buffer.data(), 4096), 4096u);
    try {
        file->Read(buffer.data(), 4096);
        FAIL() << "a stalled body was read as complete";
    } catch (CInternetException* e) {
        EXPECT_EQ(e->m_dwError, ERROR_INTERNET_TIMEOUT);
        e->Delete();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    m_server.SetStalled(true);
    start = std::chrono::steady_clock::now();
    try {
        Open(session, "info.php?2.0.0.0;Launcher");
        FAIL() << "a server that never answers was taken as an answer";
    } catch (CInternetException* e) {
        EXPECT_EQ(e->m_dwError, ERROR_INTERNET_TIMEOUT);
        e->Delete();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(HttpClient, BodyCutShortByTheServerIsAFailureNotAShortFile) {
    ServerReply cut = ServerReply::Bytes(std::string(100000, 'x'));
    cut.stallAfter = 5000;
    m_server.Replies().SetReply("patch/cut.zip", cut);
    auto file = Open(m_session, "patch/cut.zip");
    std::vector<char> buffer(4096);
    EXPECT_EQ(file->Read(buffer.data(), 4096), 4096u);

    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_server.Stop();  // closes the connection after 5000 of 100000 bytes
    });
    try {
        while (file->Read(buffer.data(), 4096) > 0) {
        }
        ADD_FAILURE() << "a body cut short was read as complete";
    } catch (CInternetException* e) {
        EXPECT_EQ(e->m_dwError, ERROR_INTERNET_CONNECTION_ABORTED);
        e->Delete();
    }
    stopper.join();
}

TEST_F(HttpClient, ClosingEarlyStopsTheTransferAndTheSessionGoesOn) {
    MakePatchFile("VarnholtUpdate.exe", 64 * 1024 * 1024);
    m_server.Replies().SetLauncherReply(ServerReply::Text("1"));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) {
        auto file = Open(m_session, "patch/VarnholtUpdate.exe");
        char chunk[4096];
        EXPECT_EQ(file->Read(chunk, sizeof chunk), sizeof chunk);
        file->Close();
        EXPECT_EQ(file->Read(chunk, sizeof chunk), 0u);
    }
    // Three early stops cost far less than three 64 MiB transfers through a 4 KiB reader.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    auto reply = Open(m_session, "info.php?2.0.0.0;Launcher");
    char text[16];
    EXPECT_EQ(reply->Read(text, sizeof text), 2u);
    EXPECT_EQ(text[0], '1');
}

TEST_F(HttpClient, PreconfiguredAccessTakesTheProxyOfTheEnvironmentAndDirectAccessNone) {
    UpdateServer closed(0);
    closed.Start();
    const std::string url = closed.BaseUrl() + "news.html";
    closed.Stop();  // reachable only through the proxy
    m_server.Replies().SetReply(url, ServerReply::Bytes("via proxy"));
    setenv("http_proxy", m_server.BaseUrl().c_str(), 1);
    const auto open = [&url](CInternetSession& session) {
        return std::unique_ptr<CHttpFile>(session.OpenURL(CString(url.c_str()), 1, kRequestFlags));
    };

    CInternetSession preconfigured(L"Varnholt Launcher");
    auto file = open(preconfigured);
    char buffer[64];
    EXPECT_EQ(std::string(buffer, file->Read(buffer, sizeof buffer)), "via proxy");

    CInternetSession direct(L"Varnholt Launcher", 1, INTERNET_OPEN_TYPE_DIRECT);
    try {
        open(direct);
        ADD_FAILURE() << "direct access went through the proxy";
    } catch (CInternetException* e) {
        e->Delete();
    }
    unsetenv("http_proxy");

    const CString proxy(m_server.BaseUrl().c_str());
    CInternetSession ownProxy(L"Varnholt Launcher", 1, INTERNET_OPEN_TYPE_PROXY, proxy);
    file = open(ownProxy);
    EXPECT_EQ(std::string(buffer, file->Read(buffer, sizeof buffer)), "via proxy");
    EXPECT_EQ(m_server.Requests().size(), 2u);
}

}  // namespace
