// The self-update hand-over between two real launcher processes: the outdated launcher downloads
// the next build, starts it with "-update", and the copy replaces the launcher and restarts it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/engine/launcher_folder.h"
#include "tests/support/update_server.h"

namespace engine_test {
namespace {

using varnholt::test::ServerReply;
using varnholt::test::UpdateServer;

TEST(SelfUpdate, OutdatedLauncherIsReplacedByTheNextBuildAndRestarted) {
    LauncherFolder folder(ENGINE_DRIVER);
    folder.AddPacks({{"readme.txt", "resources\n"}});
    const fs::path patch =
        folder.Dir().parent_path() / (folder.Dir().filename().string() + "-patch");
    fs::create_directories(patch);
    fs::copy_file(ENGINE_DRIVER_NEXT, patch / "VarnholtUpdate.exe");
    const std::string next = ReadFile(ENGINE_DRIVER_NEXT);

    UpdateServer server;
    server.Replies().SetLauncherReply(ServerReply::Text("1"));
    server.Replies().SetReply("info.php?2.0.0.0;Launcher", ServerReply::Text("0"));
    server.Replies().SetLauncherSizeReply(ServerReply::Text(std::to_string(next.size())));
    server.Replies().SetUnknownPackReply(ServerReply::Text("ACTUAL!"));
    server.SetPatchFolder(patch);
    server.Start();

    // The old launcher, the copy and the restarted launcher all write to the same output.
    Driver driver(folder.Launcher(), {});
    driver.ReadUntil("2.0.0.1 error ");
    const RunReport old = ParseReport(driver.Lines(), "2.0.0.0");
    const RunReport restarted = ParseReport(driver.Lines(), "2.0.0.1");

    EXPECT_EQ(old.FinalStatus(), 12);
    EXPECT_EQ(old.errorCode, -1);
    EXPECT_TRUE(old.exited);

    EXPECT_EQ(restarted.FinalStatus(), 9);
    EXPECT_EQ(ReadFile(folder.Launcher()), next);
    struct stat info {};
    ASSERT_EQ(stat(folder.Launcher().c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IXUSR, 0u);
    // No temporary copy is left beside the launcher.
    int launcherFiles = 0;
    for (const auto& entry : fs::directory_iterator(folder.Dir()))
        launcherFiles +=
            entry.path().filename().string().find("VarnholtLauncher") != std::string::npos;
    EXPECT_EQ(launcherFiles, 1);
    // The restarted launcher deleted the copy left by the hand-over.
    EXPECT_FALSE(fs::exists(folder.Dir() / "VarnholtUpdate.exe"));

    const auto requests = server.Requests();
    ASSERT_GE(requests.size(), 4u);
    EXPECT_EQ(requests[0].address, "info.php?2.0.0.0;Launcher");
    EXPECT_EQ(requests[1].address, "info.php?Size;Launcher");
    EXPECT_EQ(requests[2].address, "patch/VarnholtUpdate.exe");
    EXPECT_EQ(requests[3].address, "info.php?2.0.0.1;Launcher");

    driver.Close();
    const RunReport atExit = ParseReport(driver.ReadToEnd(), "2.0.0.1");
    EXPECT_TRUE(atExit.exited);
    fs::remove_all(patch);
}

}  // namespace
}  // namespace engine_test
