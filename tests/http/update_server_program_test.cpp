#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/http_client.h"
#include "tests/support/update_server.h"

namespace fs = std::filesystem;

extern char** environ;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(UpdateServerProgram, ServesAReleaseLogsEachRequestAndStopsOnSigterm) {
    const fs::path folder =
        fs::temp_directory_path() / ("varnholt-serve-" + std::to_string(getpid()));
    fs::create_directories(folder / "release" / "patch");
    std::ofstream(folder / "release" / "replies.txt") << "launcher\t1\n";
    std::ofstream(folder / "release" / "patch" / "sys.torrent") << "d4:infoe";
    int port = 0;
    {
        varnholt::test::UpdateServer probe(0);
        probe.Start();
        port = probe.Port();
    }

    // Started by hand to send it a signal and read its standard output.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (folder / "log").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string program = VARNHOLT_UPDATE_SERVER_PROGRAM;
    std::string release = (folder / "release").string();
    std::string portFlag = "--port";
    std::string portText = std::to_string(port);
    char* argv[] = {program.data(), release.data(), portFlag.data(), portText.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 500 && ReadFile(folder / "log").find("serving") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    CInternetSession session(L"Varnholt Launcher");
    const std::string base = "http://127.0.0.1:" + portText + "/";
    for (const char* address : {"info.php?2.0.0.0;Launcher", "patch/sys.torrent", "patch/none"}) {
        delete session.OpenURL(CString((base + address).c_str()), 1, INTERNET_FLAG_RELOAD);
    }

    ASSERT_EQ(kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const std::string log = ReadFile(folder / "log");
    EXPECT_NE(log.find("GET /info.php?2.0.0.0;Launcher 200 2 \"Varnholt Launcher\"\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("GET /patch/sys.torrent 200 8 "), std::string::npos) << log;
    EXPECT_NE(log.find("GET /patch/none 404 "), std::string::npos) << log;
    EXPECT_NE(log.find("stopping"), std::string::npos) << log;
    fs::remove_all(folder);
}

}  // namespace
