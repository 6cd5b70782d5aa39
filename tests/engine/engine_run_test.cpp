// The engine run end to end by the driver program against the test update server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "tests/engine/launcher_folder.h"
#include "tests/support/update_server.h"
#include "tests/zip/archive_builder.h"

namespace engine_test {
namespace {

using varnholt::test::ServerReply;
using varnholt::test::UpdateServer;

const char* const kConnectionText =
    "An error has occured during the connection to the update server";
const char* const kClientFilesText =
    "An error has occured during the access to the game client files!";
const char* const kNotSupportedText = "Your current client is not supported by the update server!";
const char* const kDownloadText = "An error has occured during the download!";

const std::vector<std::pair<std::string, std::string>> kResources = {
    {"res/", ""}, {"res/readme.txt", "resources of the client\n"}, {"top.txt", "top\n"}};

class EngineRun : public ::testing::Test {
protected:
    void SetUp() override {
        folder.AddPacks(kResources);
        server.Replies().SetLauncherReply(ServerReply::Text("1"));
        server.Replies().SetUnknownPackReply(ServerReply::Text("ACTUAL!"));
    }

    // Runs the driver until the engine ends or is ready; a ready engine is then closed.
    RunReport Run(const std::vector<std::string>& args = {}) {
        server.Start();
        Driver driver(folder.Launcher(), args);
        driver.ReadUntil(" error ");
        driver.Close();
        lines = driver.ReadToEnd();
        return ParseReport(lines, "2.0.0.0");
    }

    void TearDown() override {
        if (HasFailure())
            for (const std::string& line : lines) std::printf("driver: %s\n", line.c_str());
    }

    std::string PackChecksum(const std::string& name) {
        return SmallFileChecksum(ReadFile(folder.Pack(name)));
    }

    std::vector<std::string> RequestAddresses() {
        std::vector<std::string> addresses;
        for (const auto& r : server.Requests()) addresses.push_back(r.address);
        return addresses;
    }

    bool Requested(const std::string& prefix) {
        const auto addresses = RequestAddresses();
        return std::any_of(addresses.begin(), addresses.end(),
                           [&](const std::string& a) { return a.rfind(prefix, 0) == 0; });
    }

    LauncherFolder folder{ENGINE_DRIVER};
    UpdateServer server;
    std::vector<std::string> lines;  // the driver's output of the last run
};

void ExpectFailure(const RunReport& report, int code, const char* text) {
    EXPECT_EQ(report.FinalStatus(), 11);
    EXPECT_EQ(report.errorCode, code);
    EXPECT_EQ(report.errorMessage.rfind(text, 0), 0u) << report.errorMessage;
    EXPECT_TRUE(report.exited);
}

TEST_F(EngineRun, CurrentClientBecomesReadyWithResourcesAndRemovesTempAtExit) {
    WriteFile(folder.Dir() / "temp" / "leftover.bin", "from an earlier run");
    server.Start();
    // Held up while checksumming the last pack and extracting the last resource, so that the
    // statuses of both steps are on show long enough to be sampled.
    Driver driver(folder.Launcher(), {"--slow=read:packs/sys.vh", "--slow=open:top.txt"});
    lines = driver.ReadUntil(" error ");
    RunReport atReady = ParseReport(lines, "2.0.0.0");

    ASSERT_EQ(atReady.FinalStatus(), 9);
    EXPECT_EQ(atReady.errorCode, -1);
    std::vector<int> order;
    for (const auto& [status, percent] : atReady.statuses)
        if (order.empty() || order.back() != status) order.push_back(status);
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(std::vector<int>(order.end() - 3, order.end()), (std::vector<int>{3, 8, 9}));
    EXPECT_EQ(ReadFile(folder.Dir() / "res" / "readme.txt"), "resources of the client\n");
    EXPECT_EQ(ReadFile(folder.Dir() / "top.txt"), "top\n");
    // Nothing needed fetching, so the scratch folder was left alone until the exit.
    EXPECT_TRUE(fs::exists(folder.Dir() / "temp" / "leftover.bin"));

    std::vector<std::string> expected = {"info.php?2.0.0.0;Launcher"};
    for (const char* name : kPackNames)
        expected.push_back(std::string("info.php?Pack;") + name + ";" + PackChecksum(name));
    EXPECT_EQ(RequestAddresses(), expected);
    for (const auto& request : server.Requests()) EXPECT_EQ(request.userAgent, "Varnholt Launcher");

    driver.Close();
    const RunReport atExit = ParseReport(driver.ReadToEnd(), "2.0.0.0");
    EXPECT_TRUE(atExit.exited);
    EXPECT_FALSE(fs::exists(folder.Dir() / "temp"));
}

TEST_F(EngineRun, LauncherCheckWithoutANonZeroNumberStartsTheSelfUpdate) {
    for (const std::string reply : {"0", "", "x1"}) {
        SCOPED_TRACE("reply '" + reply + "'");
        LauncherFolder launcher(ENGINE_DRIVER);
        launcher.AddPacks(kResources);
        UpdateServer selfUpdateServer;
        selfUpdateServer.Replies().SetLauncherReply(ServerReply::Text(reply));
        selfUpdateServer.Replies().SetLauncherSizeReply(ServerReply::Text("unknown"));
        selfUpdateServer.Replies().SetReply("patch/VarnholtUpdate.exe",
                                            ServerReply::Bytes("this is no program\n"));
        selfUpdateServer.Start();
        Driver driver(launcher.Launcher(), {});
        const RunReport report = ParseReport(driver.ReadToEnd(), "2.0.0.0");

        // The download got its execute permission but is no program: it cannot be started.
        ExpectFailure(report, 274, kDownloadText);
        EXPECT_FALSE(report.Saw(3));
        const auto requests = selfUpdateServer.Requests();
        ASSERT_EQ(requests.size(), 3u);
        EXPECT_EQ(requests[1].address, "info.php?Size;Launcher");
        EXPECT_EQ(requests[2].address, "patch/VarnholtUpdate.exe");
    }
}

TEST_F(EngineRun, LauncherCheckThatCannotBeAskedFailsWith871) {
    server.Replies().SetLauncherReply(ServerReply::Status(500));
    ExpectFailure(Run(), 871, kConnectionText);
}

TEST_F(EngineRun, PackRepliesOtherThanTheFourAreRefused) {
    struct Case {
        ServerReply reply;
        int code;
        const char* text;
    };
    const std::vector<Case> cases = {
        {ServerReply::Text("ACTUAL!\r\n"), 408, kConnectionText},
        {ServerReply::Bytes("ACTUAL!"), 408, kConnectionText},
        // Longer than one read: cut to its first 512 characters, so never one of the four.
        {ServerReply::Text("ACTUAL!" + std::string(600, ' ')), 408, kConnectionText},
        // The query's own handler would record 373, but the inner failure wins.
        {ServerReply::Text("UNSUPPORTED!"), 404, kNotSupportedText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        LauncherFolder launcher(ENGINE_DRIVER);
        launcher.AddPacks(kResources);
        UpdateServer caseServer;
        caseServer.Replies().SetLauncherReply(ServerReply::Text("1"));
        caseServer.Replies().SetUnknownPackReply(ServerReply::Text("ACTUAL!"));
        caseServer.Replies().SetPackReply(
            "scripts", SmallFileChecksum(ReadFile(launcher.Pack("scripts"))), c.reply);
        caseServer.Start();
        Driver driver(launcher.Launcher(), {});
        const RunReport report = ParseReport(driver.ReadToEnd(), "2.0.0.0");
        ExpectFailure(report, c.code, c.text);
        // The query ends at the failing pack.
        EXPECT_EQ(caseServer.Requests().size(), 3u);
    }
}

TEST_F(EngineRun, ReplyWithAnOddLastByteLosesIt) {
    server.Replies().SetPackReply(
        "sys", PackChecksum("sys"),
        ServerReply::Bytes(varnholt::test::EncodeUtf16Le("ACTUAL!") + "\x01"));
    EXPECT_EQ(Run().FinalStatus(), 9);
}

TEST_F(EngineRun, MissingPacksAreFetchedWholeWithoutAsking) {
    fs::remove(folder.Pack("spaces"));
    fs::remove(folder.Pack("sys"));
    WriteFile(folder.Dir() / "temp" / "leftover.bin", "from an earlier run");
    // The .torrent of a missing pack is not on the server: the fetch fails at status 4.
    const RunReport report = Run();
    ExpectFailure(report, 922, kConnectionText);
    EXPECT_FALSE(Requested("info.php?Pack;spaces;"));
    EXPECT_FALSE(Requested("info.php?Pack;sys;"));
    EXPECT_TRUE(Requested("info.php?Pack;speedtree;"));
    EXPECT_TRUE(Requested("patch/spaces.torrent"));
    // A fresh pass starts from an empty scratch folder; status 4 leaves no resume record.
    EXPECT_FALSE(fs::exists(folder.Dir() / "temp" / "leftover.bin"));
    EXPECT_FALSE(fs::exists(folder.Dir() / "temp" / "resume.data"));
}

TEST_F(EngineRun, NoPackPresentMeansNoPackQuestion) {
    fs::remove_all(folder.Dir() / "packs");
    ExpectFailure(Run(), 922, kConnectionText);
    EXPECT_FALSE(Requested("info.php?Pack;"));
}

TEST_F(EngineRun, PackHeldOpenByAnotherProcessFailsTheScan) {
    const fs::path pack = folder.Pack("models");
    const pid_t holder = fork();
    if (holder == 0) {
        // Without a fork of its own, so that killing it ends the hold; no output of ours kept.
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, 1);
        dup2(devNull, 2);
        execlp("flock", "flock", "--exclusive", "--no-fork", pack.c_str(), "sleep", "60", nullptr);
        _exit(127);
    }
    // Wait until the other process holds its lock.
    for (int i = 0; i < 500; ++i) {
        const int fd = open(pack.c_str(), O_RDONLY | O_CLOEXEC);
        const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
        close(fd);
        if (held) break;
        usleep(10000);
    }
    const RunReport report = Run();
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ExpectFailure(report, 329, kClientFilesText);
}

TEST_F(EngineRun, StopBeforeTheScanEndsAtTheFirstPackWithoutRecord) {
    const RunReport report = Run({"--stop"});
    EXPECT_EQ(report.FinalStatus(), 10);
    EXPECT_EQ(report.errorCode, -1);
    EXPECT_FALSE(Requested("info.php?Pack;"));
    EXPECT_FALSE(fs::exists(folder.Dir() / "temp" / "resume.data"));
}

TEST_F(EngineRun, StopDuringTheLauncherDownloadDeletesTheFile) {
    server.Replies().SetLauncherReply(ServerReply::Text("0"));
    server.Replies().SetLauncherSizeReply(ServerReply::Text("1048576"));
    server.Replies().SetReply("patch/VarnholtUpdate.exe",
                              ServerReply::Bytes(std::string(1048576, 'x')));
    const RunReport report = Run({"--stop"});
    EXPECT_EQ(report.FinalStatus(), 10);
    EXPECT_TRUE(Requested("patch/VarnholtUpdate.exe"));
    EXPECT_EQ(report.errorCode, -1);
    EXPECT_FALSE(fs::exists(folder.Dir() / "VarnholtUpdate.exe"));
}

TEST_F(EngineRun, PlainFileNamedTempFailsTheFreshPass) {
    WriteFile(folder.Dir() / "temp", "not a folder");
    server.Replies().SetPackReply("scripts", PackChecksum("scripts"), ServerReply::Text("UPDATE!"));
    ExpectFailure(Run(), 286, kClientFilesText);
}

TEST_F(EngineRun, ScratchFolderThatIsALinkIsReplacedWithoutEmptyingItsTarget) {
    const fs::path outside = folder.Dir().string() + "-outside";
    WriteFile(outside / "keep.bin", "not the launcher's");
    fs::create_directory_symlink(outside, folder.Dir() / "temp");
    server.Replies().SetPackReply("scripts", PackChecksum("scripts"), ServerReply::Text("UPDATE!"));
    const RunReport report = Run();
    const bool kept = fs::exists(outside / "keep.bin");
    fs::remove_all(outside);
    // Past the reset, the fetch of the missing .torrent fails.
    ExpectFailure(report, 922, kConnectionText);
    EXPECT_TRUE(kept);
    EXPECT_FALSE(fs::is_symlink(folder.Dir() / "temp"));
}

TEST_F(EngineRun, ScratchFolderThatCannotBeClearedFails290) {
    WriteFile(folder.Dir() / "temp" / "leftover.bin", "held");
    server.Replies().SetPackReply("scripts", PackChecksum("scripts"), ServerReply::Text("UPDATE!"));
    ExpectFailure(Run({"--fail=delete:leftover.bin"}), 290, kDownloadText);
}

TEST_F(EngineRun, PackThatCannotBeReadFailsItsChecksumWith344) {
    const RunReport report = Run({"--fail=read:packs/models.vh"});
    ExpectFailure(report, 344, kClientFilesText);
    // A failure before status 5 leaves no resume record.
    EXPECT_FALSE(fs::exists(folder.Dir() / "temp" / "resume.data"));
}

TEST_F(EngineRun, ResourcesPackThatIsNoZipFails633) {
    WriteFile(folder.Pack("resources"), "no zip at all");
    ExpectFailure(Run(), 633, kDownloadText);
}

// A resources pack whose directory breaks off after its first entry must not make the client
// ready with part of its resources.
TEST_F(EngineRun, ResourcesPackWithADamagedDirectoryFails633) {
    std::string damaged = BuildArchive({StoredEntry("top.txt", "top\n"), StoredEntry("b", "b")});
    damaged[damaged.rfind("PK\x01\x02") + 2] = 'X';
    WriteFile(folder.Pack("resources"), damaged);
    ExpectFailure(Run(), 633, kDownloadText);
}

TEST_F(EngineRun, ResourcesEntriesOutsideTheLauncherFolderAreRefused) {
    for (const std::string name : {"../escape.txt", "/tmp/varnholt-absolute-entry.txt"}) {
        SCOPED_TRACE(name);
        LauncherFolder launcher(ENGINE_DRIVER);
        launcher.AddPacks(kResources);
        MakeZip(launcher.Pack("resources"), {{"ok.txt", "fine"}, {name, "escaped"}});
        UpdateServer caseServer;
        caseServer.Replies().SetLauncherReply(ServerReply::Text("1"));
        caseServer.Replies().SetUnknownPackReply(ServerReply::Text("ACTUAL!"));
        caseServer.Start();
        Driver driver(launcher.Launcher(), {});
        ExpectFailure(ParseReport(driver.ReadToEnd(), "2.0.0.0"), 705, kDownloadText);
        EXPECT_FALSE(fs::exists(launcher.Dir().parent_path() / "escape.txt"));
        EXPECT_FALSE(fs::exists("/tmp/varnholt-absolute-entry.txt"));
    }
}

// A resume record written by this launcher's version (2.0.0.0) with the given stage.
std::string ResumeRecordBytes(std::uint32_t stage, std::uint32_t versionMS = 0x00020000) {
    std::string bytes(16, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[4 + i] = static_cast<char>(versionMS >> (8 * i));
        bytes[8 + i] = static_cast<char>(stage >> (8 * i));
    }
    return bytes;
}

TEST(EngineResume, SavedStageSkipsTheStepsBeforeItInTheFirstPass) {
    struct Case {
        std::string name;
        std::string record;
        std::string answer;
        bool packToPatch;
        int finalStatus;
        int errorCode;
        bool fetchesTorrents;
        bool keepsTemp;
    };
    const std::vector<Case> cases = {
        // All current: the loop ends and only the resources are extracted again.
        {"stage 8", ResumeRecordBytes(8), "--resume=yes", false, 9, -1, false, true},
        // No download, no wipe: the missing zip fails the extraction.
        {"stage 6", ResumeRecordBytes(6), "--resume=yes", true, 11, 633, false, true},
        // No extraction either: the missing delta file fails the patching.
        {"stage 7", ResumeRecordBytes(7), "--resume=yes", true, 11, 586, false, true},
        // The download again, on the scratch folder as it is.
        {"stage 5", ResumeRecordBytes(5), "--resume=yes", true, 11, 922, true, true},
        // Declined, or written by another version: a fresh pass wipes the scratch folder.
        {"declined", ResumeRecordBytes(6), "--resume=no", true, 11, 922, true, false},
        {"other version", ResumeRecordBytes(6, 0x00010000), "--resume=yes", true, 11, 922, true,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LauncherFolder folder(ENGINE_DRIVER);
        folder.AddPacks(kResources);
        WriteFile(folder.Dir() / "temp" / "resume.data", c.record);
        WriteFile(folder.Dir() / "temp" / "leftover.bin", "downloaded before");
        UpdateServer server;
        server.Replies().SetLauncherReply(ServerReply::Text("1"));
        server.Replies().SetUnknownPackReply(ServerReply::Text("ACTUAL!"));
        if (c.packToPatch)
            server.Replies().SetPackReply("scripts",
                                          SmallFileChecksum(ReadFile(folder.Pack("scripts"))),
                                          ServerReply::Text("UPDATE!"));
        server.Start();
        Driver driver(folder.Launcher(), {c.answer});
        driver.ReadUntil(" error ");
        driver.Close();
        const RunReport report = ParseReport(driver.ReadToEnd(), "2.0.0.0");

        EXPECT_EQ(report.FinalStatus(), c.finalStatus);
        EXPECT_EQ(report.errorCode, c.errorCode);
        bool fetched = false;
        for (const auto& request : server.Requests())
            fetched = fetched || request.address.rfind("patch/", 0) == 0;
        EXPECT_EQ(fetched, c.fetchesTorrents);
        if (c.finalStatus != 9) {
            EXPECT_EQ(fs::exists(folder.Dir() / "temp" / "leftover.bin"), c.keepsTemp);
        }
    }
}

// An exception from outside the framework's family (here thrown while a new pack is moved into
// place) ends the update like any failure: status 11, or 10 once the player has asked to stop,
// and a resume record of the stage either way.
TEST(EngineForeignException, EndsAsAFailureOrAsTheStopThePlayerAskedFor) {
    const std::vector<std::pair<std::vector<std::string>, int>> cases = {
        {{"--throw=move:sys.patched"}, 11},
        {{"--stop-on=move:sys.patched", "--throw=move:sys.patched"}, 10},
    };
    for (const auto& [args, finalStatus] : cases) {
        SCOPED_TRACE(finalStatus);
        LauncherFolder folder(ENGINE_DRIVER);
        folder.AddPacks(kResources);
        fs::remove(folder.Pack("sys"));
        WriteFile(folder.Dir() / "temp" / "resume.data", ResumeRecordBytes(6));
        MakeZip(folder.Dir() / "temp" / "sys.zip", {{"sys.patched", "sys of the next client\n"}});
        UpdateServer server;
        server.Replies().SetLauncherReply(ServerReply::Text("1"));
        server.Replies().SetUnknownPackReply(ServerReply::Text("ACTUAL!"));
        server.Start();
        Driver driver(folder.Launcher(), args);
        const RunReport report = ParseReport(driver.ReadToEnd(), "2.0.0.0");

        // Status 6 lasts only as long as one small archive takes to extract, too short for the
        // driver's polling to see every time under load, so it is not asked for here.
        EXPECT_EQ(report.FinalStatus(), finalStatus);
        EXPECT_EQ(report.errorCode, -1);
        EXPECT_TRUE(report.exited);
        EXPECT_EQ(ReadFile(folder.Dir() / "temp" / "resume.data"), ResumeRecordBytes(6));
        EXPECT_FALSE(fs::exists(folder.Pack("sys")));
    }
}

}  // namespace
}  // namespace engine_test
