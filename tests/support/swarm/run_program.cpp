#include "tests/support/swarm/run_program.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace swarm {

namespace {

std::string Describe(const std::vector<std::string>& argv) {
    std::string text;
    for (const std::string& arg : argv) {
        if (!text.empty()) text += ' ';
        text += arg;
    }
    return text;
}

}  // namespace

int StartProgram(const std::vector<std::string>& argv, const std::filesystem::path& workingFolder) {
    if (argv.empty()) throw std::invalid_argument("StartProgram: empty argument vector");
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Descriptors of the test process (sockets, locked files) must not leak into the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!workingFolder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    }
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::runtime_error("cannot start " + Describe(argv) + ": " + std::strerror(error));
    }
    return pid;
}

void RunProgram(const std::vector<std::string>& argv, const std::filesystem::path& workingFolder) {
    const pid_t pid = StartProgram(argv, workingFolder);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("cannot wait for " + Describe(argv) + ": " +
                                     std::strerror(errno));
        }
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
    const std::string how = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                              : "signal " + std::to_string(WTERMSIG(status));
    throw std::runtime_error(Describe(argv) + " failed with " + how);
}

}  // namespace swarm
