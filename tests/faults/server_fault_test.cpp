// The update server stops before or in the middle of each kind of request, or accepts and never
// answers: the update ends with the request's failure number within the HTTP client's timeouts,
// and the packs stay as they were.
#include <gtest/gtest.h>

#include <functional>

#include "tests/faults/fault_run.h"
#include "tests/support/update_server.h"

namespace faults {
namespace {

using engine_test::Driver;
using engine_test::LauncherFolder;
using engine_test::RunReport;
using varnholt::test::ServerReply;
using varnholt::test::UpdateServer;

constexpr int kTimeoutSeconds = 2;

const std::vector<std::pair<std::string, std::string>> kResources = {{"readme.txt", "resources\n"}};

// A reply whose body stops after its first bytes, so the server can vanish in the middle of it.
ServerReply Cut(ServerReply reply) {
    reply.stallAfter = reply.EncodedBody().size() / 2;
    return reply;
}

struct ServerFaultCase {
    const char* name;
    int errorCode;
    // Scripts the server; returns the address prefix at which it stops (empty: it never starts).
    std::function<std::string(UpdateServer&, LauncherFolder&)> script;
    // A pause before the request: the server stops while the launcher is held there.
    const char* pauseOperation = nullptr;
    const char* pauseSuffix = nullptr;
};

std::string ChecksumOf(LauncherFolder& folder, const std::string& pack) {
    return engine_test::SmallFileChecksum(engine_test::ReadFile(folder.Pack(pack)));
}

// A launcher that must update itself, up to the request that is cut.
void ScriptSelfUpdate(UpdateServer& server) {
    server.Replies().SetLauncherReply(ServerReply::Text("0"));
    server.Replies().SetLauncherSizeReply(ServerReply::Text("200000"));
    server.Replies().SetReply("patch/VarnholtUpdate.exe",
                              ServerReply::Bytes(std::string(200000, 'L')));
}

// A current launcher with one pack to patch.
void ScriptPackUpdate(UpdateServer& server, LauncherFolder& folder) {
    server.Replies().SetLauncherReply(ServerReply::Text("1"));
    server.Replies().SetUnknownPackReply(ServerReply::Text("ACTUAL!"));
    server.Replies().SetPackReply("scripts", ChecksumOf(folder, "scripts"),
                                  ServerReply::Text("UPDATE!"));
}

const std::vector<ServerFaultCase>& Cases() {
    static const std::vector<ServerFaultCase> cases = {
        {"LauncherCheckNoServer", 871,
         [](UpdateServer&, LauncherFolder&) { return std::string(); }},
        {"LauncherCheckCut", 871,
         [](UpdateServer& server, LauncherFolder&) {
             server.Replies().SetLauncherReply(Cut(ServerReply::Text("1234567")));
             return std::string("info.php?2.0.0.0;Launcher");
         }},
        {"LauncherSizeCut", 871,
         [](UpdateServer& server, LauncherFolder&) {
             ScriptSelfUpdate(server);
             server.Replies().SetLauncherSizeReply(Cut(ServerReply::Text("200000")));
             return std::string("info.php?Size;Launcher");
         }},
        {"LauncherDownloadCut", 922,
         [](UpdateServer& server, LauncherFolder&) {
             ScriptSelfUpdate(server);
             server.Replies().SetReply("patch/VarnholtUpdate.exe",
                                       Cut(ServerReply::Bytes(std::string(200000, 'L'))));
             return std::string("patch/VarnholtUpdate.exe");
         }},
        {"PackQueryCut", 871,
         [](UpdateServer& server, LauncherFolder& folder) {
             ScriptPackUpdate(server, folder);
             server.Replies().SetPackReply("scripts", ChecksumOf(folder, "scripts"),
                                           Cut(ServerReply::Text("UPDATE!")));
             return std::string("info.php?Pack;scripts;");
         }},
        {"PackQueryAfterServerStopped", 871,
         [](UpdateServer& server, LauncherFolder& folder) {
             ScriptPackUpdate(server, folder);
             return std::string();
         },
         "open", "packs/local.vh"},
        {"TorrentCut", 922,
         [](UpdateServer& server, LauncherFolder& folder) {
             ScriptPackUpdate(server, folder);
             server.Replies().SetReply(
                 "patch/scripts." + ChecksumOf(folder, "scripts") + ".torrent",
                 Cut(ServerReply::Bytes(std::string(5000, 'd'))));
             return std::string("patch/scripts.");
         }},
        {"TorrentAfterServerStopped", 922,
         [](UpdateServer& server, LauncherFolder& folder) {
             ScriptPackUpdate(server, folder);
             return std::string();
         },
         "mkdir", "temp/"},
    };
    return cases;
}

class ServerFault : public ::testing::TestWithParam<ServerFaultCase> {};

// Stops the server once it has been asked for an address with the given prefix.
std::thread StopWhenAsked(UpdateServer& server, const std::string& prefix) {
    return std::thread([&server, prefix] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            for (const auto& request : server.Requests()) {
                if (request.address.rfind(prefix, 0) == 0) {
                    // Let the first half of the reply reach the launcher.
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    server.Stop();
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
}

TEST_P(ServerFault, EndsWithTheRequestsNumberAndLeavesThePacks) {
    const ServerFaultCase& c = GetParam();
    LauncherFolder folder(FAULT_DRIVER);
    folder.AddPacks(kResources);
    const PackSet before = ReadPacks(folder.Dir() / "packs");
    UpdateServer server;
    const std::string stopAt = c.script(server, folder);
    const bool serving = !stopAt.empty() || c.pauseOperation != nullptr;
    if (serving) server.Start();
    std::thread stopper;
    if (!stopAt.empty()) stopper = StopWhenAsked(server, stopAt);
    const Pause pause(folder.Dir() / "pause.marker");
    std::map<std::string, std::string> environment = {
        {"VARNHOLT_HTTP_TIMEOUT_SECONDS", std::to_string(kTimeoutSeconds)}};
    if (c.pauseOperation != nullptr)
        environment["VARNHOLT_FAULT_PAUSE"] = pause.RuleFor(c.pauseOperation, c.pauseSuffix);

    const auto start = std::chrono::steady_clock::now();
    std::optional<Driver> driver;
    {
        ScopedEnvironment scoped(environment);
        driver.emplace(folder.Launcher(), std::vector<std::string>{});
    }
    if (c.pauseOperation != nullptr) {
        ASSERT_TRUE(pause.Wait()) << "the launcher never reached " << c.pauseSuffix;
        server.Stop();
        pause.Release();
    }
    const RunReport report = ReportOf(driver->ReadToEnd(std::chrono::seconds(60)));
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();
    if (stopper.joinable()) stopper.join();

    EXPECT_EQ(report.FinalStatus(), kStatusError);
    EXPECT_EQ(report.errorCode, c.errorCode);
    EXPECT_EQ(report.errorMessage.rfind("An error has occured during the connection", 0), 0u)
        << report.errorMessage;
    EXPECT_TRUE(report.exited);
    // A cut body is seen as cut at once; only a silent server waits for the timeout.
    EXPECT_LT(seconds, 3 * kTimeoutSeconds + 5);
    EXPECT_EQ(ReadPacks(folder.Dir() / "packs"), before);
    EXPECT_FALSE(ResumeStage(folder.Dir())) << "no resume record before the download";
}

INSTANTIATE_TEST_SUITE_P(Requests, ServerFault, ::testing::ValuesIn(Cases()),
                         [](const auto& param) { return std::string(param.param.name); });

// Accepts every connection and never answers: each request ends at the client's no-data timeout.
TEST(ServerFaultSilent, RequestFailsWithinTheTimeout) {
    LauncherFolder folder(FAULT_DRIVER);
    folder.AddPacks(kResources);
    UpdateServer server;
    server.SetStalled(true);
    server.Start();
    const auto start = std::chrono::steady_clock::now();
    std::optional<Driver> driver;
    {
        ScopedEnvironment scoped(
            {{"VARNHOLT_HTTP_TIMEOUT_SECONDS", std::to_string(kTimeoutSeconds)}});
        driver.emplace(folder.Launcher(), std::vector<std::string>{});
    }
    const RunReport report = ReportOf(driver->ReadToEnd(std::chrono::seconds(60)));
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();

    EXPECT_EQ(report.FinalStatus(), kStatusError);
    EXPECT_EQ(report.errorCode, 871);
    EXPECT_GE(seconds, kTimeoutSeconds - 1);
    EXPECT_LT(seconds, 3 * kTimeoutSeconds + 2);
    server.SetStalled(false);
}

}  // namespace
}  // namespace faults
