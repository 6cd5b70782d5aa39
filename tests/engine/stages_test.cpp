// The steps of an update run one by one on the test's own thread, so that every status and
// percent they leave can be read exactly (the driver only samples them).
#include <gtest/gtest.h>

#include "tests/engine/launcher_folder.h"
#include "tests/support/update_server.h"
#include "tests/zip/archive_builder.h"
#include "update/file_utils.h"
#include "update/status.h"
#include "update/update_thread.h"

namespace engine_test {
namespace {

using varnholt::test::ServerReply;
using varnholt::test::UpdateServer;

class Stages : public ::testing::Test {
protected:
    void SetUp() override {
        g_nErrorCode = -1;
        g_strError.Empty();
        dir = MakeTempFolder("varnholt-stages");
        thread.m_strDir = CString(Utf8ToWide(dir.string() + "/").c_str());
        server.Start();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::pair<int, int> Status() {
        int status = 0, percent = 0, bar = 0;
        GetStatus(&status, &percent, &bar);
        return {status, percent};
    }

    fs::path dir;
    UpdateServer server;
    CUpdateThread thread;  // not started
};

TEST_F(Stages, LauncherDownloadPercentFollowsTheAnnouncedSize) {
    struct Case {
        std::string sizeReply;
        std::size_t bodySize;
        int finalPercent;
    };
    const std::vector<Case> cases = {
        {"200000", 200000, 100},
        // Leading blanks and trailing text around the number.
        {"  200000 bytes", 100000, 50},
        // Longer than announced: nothing clamps the percent.
        {"1000", 3000, 300},
        // No size at all: 0 rather than a division by zero.
        {"unknown", 5000, 0},
        {"", 5000, 0},
        // Above the 32-bit range: the largest value.
        {"99999999999", 5000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sizeReply);
        server.Replies().SetLauncherSizeReply(ServerReply::Text(c.sizeReply));
        server.Replies().SetReply("patch/VarnholtUpdate.exe",
                                  ServerReply::Bytes(std::string(c.bodySize, 'L')));
        thread.DownloadLauncherUpdate();
        EXPECT_EQ(Status(), std::make_pair(2, c.finalPercent));
        EXPECT_EQ(fs::file_size(dir / "VarnholtUpdate.exe"), c.bodySize);
    }
    EXPECT_EQ(thread.m_qwLauncherSize, 4294967295u);
}

TEST_F(Stages, ScanCountsEveryPresentByteAndQueriesOnlyPresentPacks) {
    for (const char* name : kPackNames)
        WriteFile(dir / "packs" / (std::string(name) + ".vh"), name);
    fs::remove(dir / "packs" / "models.vh");
    WriteFile(dir / "packs" / "sys.vh", std::string(3 * 1024 * 1024, 's'));
    thread.ScanPacks();
    EXPECT_EQ(Status(), std::make_pair(3, 100));
    EXPECT_EQ(thread.m_qwScanDone, thread.m_qwScanTotal);
    EXPECT_EQ(thread.m_setReload, std::set<int>{9});
    EXPECT_EQ(DwordToHex(thread.m_mapPackChecksum[0]),
              CString(Utf8ToWide(SmallFileChecksum("local")).c_str()));

    server.Replies().SetUnknownPackReply(ServerReply::Text("ACTUAL!"));
    server.Replies().SetPackReply("scripts", SmallFileChecksum("scripts"),
                                  ServerReply::Text("UPDATE!"));
    server.Replies().SetPackReply("sys", SmallFileChecksum(std::string(1024 * 1024, 's')),
                                  ServerReply::Text("CORRUPTED!"));
    EXPECT_FALSE(thread.QueryPacks());
    EXPECT_EQ(thread.m_setUpdate, std::set<int>{1});
    EXPECT_EQ(thread.m_setReload, (std::set<int>{9, 20}));
    EXPECT_EQ(server.Requests().size(), 20u);
    // The query shows no status of its own.
    EXPECT_EQ(Status(), std::make_pair(3, 100));
}

TEST_F(Stages, StopDuringTheScanEndsAfterTheCurrentChunkAndKeepsItsValue) {
    for (const char* name : kPackNames)
        WriteFile(dir / "packs" / (std::string(name) + ".vh"), std::string(3 * 4096, 'x'));
    g_bStop = TRUE;
    try {
        thread.ScanPacks();
        FAIL() << "no stop";
    } catch (CUserException* e) {
        e->Delete();
    }
    g_bStop = FALSE;
    EXPECT_EQ(g_nErrorCode, -1);
    // Only the first pack was read, and only its first chunk; its partial value was kept.
    EXPECT_EQ(thread.m_mapPackChecksum.GetCount(), 1);
    EXPECT_LT(thread.m_qwScanDone, 3u * 4096);
    EXPECT_EQ(
        DwordToHex(thread.m_mapPackChecksum[0]),
        CString(Utf8ToWide(SmallFileChecksum(std::string(thread.m_qwScanDone, 'x'))).c_str()));
}

TEST_F(Stages, ExtractionPercentRunsOverAllArchivesOfThePass) {
    thread.m_mapPackChecksum[1] = 0x024A0126;
    thread.m_setUpdate = {1};
    thread.m_setReload = {20};
    MakeZip(dir / "temp" / "scripts.024A0126.zip",
            {{"scripts.024A0126.patch", std::string(300, 'p')}});
    MakeZip(dir / "temp" / "sys.zip", {{"sys.patched", std::string(100, 'w')}});
    thread.ExtractPatches();
    EXPECT_EQ(thread.m_qwExtractTotal, 400u);
    EXPECT_EQ(Status(), std::make_pair(6, 100));
    EXPECT_EQ(ReadFile(dir / "temp" / "sys.patched"), std::string(100, 'w'));

    // A missing archive fails before anything is extracted.
    fs::remove(dir / "temp" / "scripts.024A0126.patch");
    fs::remove(dir / "temp" / "sys.zip");
    try {
        thread.ExtractPatches();
        FAIL() << "no exception";
    } catch (CUserException* e) {
        e->Delete();
    }
    EXPECT_EQ(g_nErrorCode, 633);
    EXPECT_FALSE(fs::exists(dir / "temp" / "scripts.024A0126.patch"));
}

TEST_F(Stages, ResourcesWhoseSizesTotalZeroShowNoDivisionByZero) {
    // Empty entries report no chunk, so the step shows no status of its own.
    MakeZip(dir / "packs" / "resources.vh", {{"empty/", ""}, {"empty/none.txt", ""}});
    SetStatus(STATUS_CHECK_CLIENT, 50);
    thread.ExtractResources();
    EXPECT_TRUE(fs::exists(dir / "empty" / "none.txt"));
    EXPECT_EQ(Status(), std::make_pair(3, 50));

    // Sizes whose signed 32-bit sum is 0, while the first entry still reports its bytes.
    BuiltEntry lying = StoredEntry("lying.bin", "");
    lying.uncompressedSize = 0u - 5000u;
    WriteFile(dir / "packs" / "resources.vh",
              BuildArchive({StoredEntry("a.txt", std::string(5000, 'a')), lying}));
    SetStatus(STATUS_CHECK_CLIENT, 50);
    try {
        thread.ExtractResources();
    } catch (CUserException* e) {
        e->Delete();
    }
    EXPECT_EQ(ReadFile(dir / "a.txt"), std::string(5000, 'a'));
    EXPECT_EQ(Status(), std::make_pair(8, 0));

    MakeZip(dir / "packs" / "resources.vh", {{"a.txt", std::string(5000, 'a')}});
    thread.ExtractResources();
    EXPECT_EQ(Status(), std::make_pair(8, 100));
}

}  // namespace
}  // namespace engine_test
