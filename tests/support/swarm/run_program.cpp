#include "tests/support/swarm/run_program.h"

#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
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

// A child starts with no signal blocked and the usual actions for the signals that end it, even
// when the starting program blocks them for a signal thread of its own (a blocked SIGTERM would
// make the child deaf to being stopped). Async-signal-safe, for use between fork and exec.
void ResetSignals() {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) std::signal(number, SIG_DFL);
}

// The program's path as the shell would find it, looked up before a fork, since the child may
// only make async-signal-safe calls.
std::string FindInPath(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate =
            (end > start ? folders.substr(start, end - start) : ".") + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    throw std::runtime_error("cannot start " + program + ": not found in PATH");
}

}  // namespace

int StartProgramTiedToThisThread(const std::vector<std::string>& argv) {
    if (argv.empty()) throw std::invalid_argument("StartProgram: empty argument vector");
    const std::string program = FindInPath(argv[0]);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("cannot start " + Describe(argv) + ": fork failed");
    if (pid == 0) {
        ResetSignals();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The parent may have died before the signal was armed.
        if (getppid() != parent) _exit(127);
        setpgid(0, 0);
        close_range(3, ~0u, 0);
        execv(program.c_str(), args.data());
        _exit(127);
    }
    return pid;
}

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
    // As ResetSignals, for posix_spawn.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&defaults, number);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
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
