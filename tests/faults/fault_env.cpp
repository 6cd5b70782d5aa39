// Lets a test reach into a launcher it runs as a child process: linked into a copy of the update
// driver, this reads the environment once and makes the platform's file operations fail or wait.
//
//   VARNHOLT_FAULT_PIDFILE=FILE          the process writes its id into FILE at start-up
//   VARNHOLT_FAULT_FAIL=OP:SUFFIX:ERRNO  OP on every path ending in SUFFIX fails with ERRNO
//                                        (a number, or ENOSPC, EIO, EACCES)
//   VARNHOLT_FAULT_PAUSE=OP:SUFFIX:FILE  the first OP on a path ending in SUFFIX writes the process
//                                        id into FILE and then waits until FILE is deleted, so the
//                                        test can kill, stop a server or look at the disk there
//   VARNHOLT_FAULT_PAUSE_SKIP=N          the pause lets the first N such operations pass
// OP is one of open, read, write, setlength, delete, move, mkdir, rmdir.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "platform/fault_hook.h"
#include "platform/utf8.h"

namespace {

struct Rule {
    FileOperation operation;
    CString suffix;
    std::string last;  // errno for a failure, the marker file for a pause
};

bool ParseRule(const char* text, Rule& rule) {
    static const std::map<std::string, FileOperation> kOperations = {
        {"open", FileOperation::Open},
        {"read", FileOperation::Read},
        {"write", FileOperation::Write},
        {"setlength", FileOperation::SetLength},
        {"delete", FileOperation::Delete},
        {"move", FileOperation::Move},
        {"mkdir", FileOperation::CreateDirectory},
        {"rmdir", FileOperation::RemoveDirectory}};
    if (text == nullptr) return false;
    const std::string ruleText = text;
    const std::size_t first = ruleText.find(':');
    const std::size_t last = ruleText.rfind(':');
    if (first == std::string::npos || first == last) return false;
    const auto operation = kOperations.find(ruleText.substr(0, first));
    if (operation == kOperations.end()) return false;
    rule.operation = operation->second;
    rule.suffix = CString(Utf8ToWide(ruleText.substr(first + 1, last - first - 1)).c_str());
    rule.last = ruleText.substr(last + 1);
    return true;
}

int ErrnoOf(const std::string& name) {
    if (name == "ENOSPC") return ENOSPC;
    if (name == "EIO") return EIO;
    if (name == "EACCES") return EACCES;
    return std::atoi(name.c_str());
}

bool Matches(const Rule& rule, FileOperation operation, const CString& path) {
    return operation == rule.operation && path.Right(rule.suffix.GetLength()) == rule.suffix;
}

void Pause(const std::string& marker) {
    std::ofstream(marker) << getpid() << "\n";
    while (access(marker.c_str(), F_OK) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

struct Rules {
    Rule fail;
    Rule pause;
    bool failing = false;
    bool pausing = false;
    long pauseSkip = 0;
    std::atomic<long> pauseMatches{0};

    Rules() {
        failing = ParseRule(std::getenv("VARNHOLT_FAULT_FAIL"), fail);
        pausing = ParseRule(std::getenv("VARNHOLT_FAULT_PAUSE"), pause);
        if (const char* skip = std::getenv("VARNHOLT_FAULT_PAUSE_SKIP"))
            pauseSkip = std::atol(skip);
    }
};

struct WritePidFile {
    WritePidFile() {
        if (const char* pidFile = std::getenv("VARNHOLT_FAULT_PIDFILE"))
            std::ofstream(pidFile) << getpid() << "\n";
    }
};

const WritePidFile g_pidFile;

}  // namespace

// The layer asks InjectedFault before each file operation; the link (-Wl,--wrap) sends that call
// here first. Wrapping the call, rather than installing a hook from a static initialiser, keeps
// the rules in force whatever order the program's static objects are built in.
extern "C" int __real__Z13InjectedFault13FileOperationPKw(FileOperation operation, LPCTSTR path);
extern "C" int __wrap__Z13InjectedFault13FileOperationPKw(FileOperation operation, LPCTSTR path) {
    static Rules rules;
    if (rules.pausing || rules.failing) {
        const CString strPath(path);
        if (rules.pausing && Matches(rules.pause, operation, strPath) &&
            rules.pauseMatches++ == rules.pauseSkip)
            Pause(rules.pause.last);
        if (rules.failing && Matches(rules.fail, operation, strPath))
            return ErrnoOf(rules.fail.last);
    }
    return __real__Z13InjectedFault13FileOperationPKw(operation, path);
}
