// The server requests in the engine's own process, against the test update server.
#include <gtest/gtest.h>

#include "tests/engine/launcher_folder.h"
#include "tests/support/update_server.h"
#include "update/status.h"
#include "update/update_thread.h"

namespace engine_test {
namespace {

using varnholt::test::EncodeUtf16Le;
using varnholt::test::ServerReply;
using varnholt::test::UpdateServer;

class Protocol : public ::testing::Test {
protected:
    void SetUp() override {
        g_nErrorCode = -1;
        g_strError.Empty();
        dir = MakeTempFolder("varnholt-protocol");
        server.Start();
    }
    void TearDown() override { fs::remove_all(dir); }

    CString Url(const std::string& address) {
        return CString(Utf8ToWide(server.BaseUrl() + address).c_str());
    }
    CString Local(const std::string& name) {
        return CString(Utf8ToWide((dir / name).string()).c_str());
    }

    // The failure number a step recorded, its exception handled.
    template <typename Step>
    int FailureOf(Step step) {
        try {
            step();
        } catch (CUserException* e) {
            e->Delete();
            return g_nErrorCode;
        }
        return 0;
    }

    fs::path dir;
    UpdateServer server;
    CUpdateThread thread;  // not started: its session serves the requests
};

TEST_F(Protocol, TextReplyIsOneReadOfAtMost1024BytesAsUtf16) {
    // Longer than 1024 bytes: cut to the first 512 characters, however the body is split.
    std::string text;
    for (int i = 0; i < 700; ++i) text += static_cast<char>('a' + i % 26);
    server.Replies().SetReply("long", ServerReply::Text(text));
    EXPECT_EQ(std::wstring(thread.RequestString(Url("long"))), Utf8ToWide(text.substr(0, 512)));

    // An odd last byte is dropped; a byte-order mark stays part of the text.
    server.Replies().SetReply("odd", ServerReply::Bytes(EncodeUtf16Le("UPDATE!") + "\x41"));
    EXPECT_EQ(std::wstring(thread.RequestString(Url("odd"))), L"UPDATE!");
    server.Replies().SetReply("bom", ServerReply::Bytes("\xFF\xFE" + EncodeUtf16Le("1")));
    EXPECT_EQ(std::wstring(thread.RequestString(Url("bom"))),
              L"\xFEFF"
              L"1");
    server.Replies().SetReply("empty", ServerReply::Text(""));
    EXPECT_EQ(std::wstring(thread.RequestString(Url("empty"))), L"");
    EXPECT_EQ(g_nErrorCode, -1);
}

TEST_F(Protocol, TextRequestAnsweredWithAnErrorStatusFails871) {
    server.Replies().SetReply("gone", ServerReply::Status(404));
    EXPECT_EQ(FailureOf([&] { thread.RequestString(Url("gone")); }), 871);
    EXPECT_FALSE(g_strError.IsEmpty());
}

struct StopAtFirstChunk {
    static inline DWORD bytes = 0;
    static void Callback(DWORD n, BOOL* stop) {
        bytes += n;
        *stop = TRUE;
    }
};

TEST_F(Protocol, DownloadWritesTheBodyInChunksAndStopsWhenAsked) {
    const std::string body(300000, 'z');
    server.Replies().SetReply("patch/big", ServerReply::Bytes(body));
    DownloadFile(Local("big"), Url("patch/big"), nullptr);
    EXPECT_EQ(ReadFile(dir / "big"), body);

    StopAtFirstChunk::bytes = 0;
    DownloadFile(Local("stopped"), Url("patch/big"), StopAtFirstChunk::Callback);
    EXPECT_EQ(fs::file_size(dir / "stopped"), StopAtFirstChunk::bytes);
    EXPECT_LT(StopAtFirstChunk::bytes, body.size());
    EXPECT_EQ(g_nErrorCode, -1);
}

TEST_F(Protocol, DownloadAnsweredWithAnErrorStatusKeepsTheBodyAndFails922) {
    ServerReply missing = ServerReply::Bytes("<html>no such file</html>", 404);
    server.Replies().SetReply("patch/missing", missing);
    EXPECT_EQ(FailureOf([&] { DownloadFile(Local("missing"), Url("patch/missing"), nullptr); }),
              922);
    EXPECT_EQ(ReadFile(dir / "missing"), "<html>no such file</html>");
}

TEST_F(Protocol, DownloadThatCannotConnectLeavesNoFile) {
    server.Stop();
    EXPECT_EQ(FailureOf([&] { DownloadFile(Local("none"), Url("patch/x"), nullptr); }), 922);
    EXPECT_FALSE(fs::exists(dir / "none"));
}

}  // namespace
}  // namespace engine_test
