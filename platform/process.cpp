#include "platform/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <string>
#include <thread>

#include "platform/last_error.h"
#include "platform/utf8.h"

extern char** environ;

namespace {

int ExitCodeFromWaitStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 0;
}

// Spawn settings that give the child a clean start: no descriptor beyond the standard streams
// (those of the launcher are close-on-exec already; this also catches a library's), default
// signal dispositions and an empty signal mask whatever the launcher's threads set.
class SpawnSettings {
public:
    explicit SpawnSettings(const std::string& workingFolder) {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawnattr_init(&m_attributes);
        posix_spawn_file_actions_addclosefrom_np(&m_actions, STDERR_FILENO + 1);
        if (!workingFolder.empty())
            posix_spawn_file_actions_addchdir_np(&m_actions, workingFolder.c_str());
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        posix_spawnattr_setsigdefault(&m_attributes, &all);
        posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&m_actions);
        posix_spawnattr_destroy(&m_attributes);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    const posix_spawn_file_actions_t* Actions() const { return &m_actions; }
    const posix_spawnattr_t* Attributes() const { return &m_attributes; }

private:
    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attributes;
};

// A started process as a waitable object: signalled, for good, once the process has ended and
// been reaped by a thread of its own, so that nobody has to wait for it to leave no zombie.
class CProcessObject : public CSignalObject {
public:
    CProcessObject() : CSignalObject(true, false) {}
    void Ended(int exitCode) {
        m_exitCode.store(exitCode);
        Set();
    }
    DWORD ExitCode() const {
        return IsSet() ? static_cast<DWORD>(m_exitCode.load()) : STILL_ACTIVE;
    }

private:
    std::atomic<int> m_exitCode{0};
};

void ReapInBackground(pid_t pid, CProcessObject* process) {
    process->AddRef();  // the reaper's own reference
    std::thread([pid, process] {
        int status = 0;
        int result;
        do {
            result = waitpid(pid, &status, 0);
        } while (result < 0 && errno == EINTR);
        process->Ended(result == pid ? ExitCodeFromWaitStatus(status) : 0);
        process->Release();
    }).detach();
}

}  // namespace

HANDLE StartProcessWithArguments(LPCTSTR pszExe, const std::vector<CString>& vecArgs,
                                 LPCTSTR pszWorkingFolder) {
    if (!pszExe || !*pszExe) {
        SetLastErrorFromErrno(ENOENT);
        return NULL;
    }
    std::vector<std::string> arguments;
    arguments.push_back(WideToUtf8(pszExe));
    for (const CString& argument : vecArgs) arguments.push_back(WideToUtf8(argument));
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const SpawnSettings settings(pszWorkingFolder ? WideToUtf8(pszWorkingFolder) : std::string());
    pid_t pid = 0;
    const int error =
        posix_spawn(&pid, argv[0], settings.Actions(), settings.Attributes(), argv.data(), environ);
    if (error != 0) {
        SetLastErrorFromErrno(error);
        return NULL;
    }
    auto* process = new CProcessObject();
    ReapInBackground(pid, process);
    return ToHandle(process);
}

BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    auto* process = dynamic_cast<CProcessObject*>(HandleObject(hProcess));
    if (!process || !lpExitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = process->ExitCode();
    return TRUE;
}

BOOL SetFileExecutable(LPCTSTR pszPath) {
    const std::string path = WideToUtf8(pszPath);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    // Execute for whoever may read the file.
    const mode_t mode = info.st_mode | ((info.st_mode & (S_IRUSR | S_IRGRP | S_IROTH)) >> 2);
    if (chmod(path.c_str(), mode & 07777) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}
