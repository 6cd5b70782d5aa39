// What the fault tests share: the launcher run as a child process with faults set through its
// environment, a pause in the middle of a file operation where the test can act, and the one
// promise every test checks: no pack in packs/ is ever anything but its old or its new version.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/engine/launcher_folder.h"

namespace faults {

namespace fs = std::filesystem;

constexpr int kStatusDownload = 5;
constexpr int kStatusExtract = 6;
constexpr int kStatusInstall = 7;
constexpr int kStatusResources = 8;
constexpr int kStatusReady = 9;
constexpr int kStatusStopped = 10;
constexpr int kStatusError = 11;

// Environment variables for one launcher run (see fault_env.cpp), set only around its start.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(std::map<std::string, std::string> variables);
    ~ScopedEnvironment();

private:
    std::map<std::string, std::string> m_variables;
};

// A launcher started under a pause: Wait() returns once it is held inside the chosen file
// operation; then the test kills it (Kill) or lets it go on (Release).
class Pause {
public:
    explicit Pause(fs::path marker) : m_marker(std::move(marker)) {}
    // "OP:SUFFIX:MARKER", the value of VARNHOLT_FAULT_PAUSE.
    std::string RuleFor(const std::string& operation, const std::string& suffix) const;
    // The paused process's id, or nothing when it did not get there in time.
    std::optional<pid_t> Wait(std::chrono::seconds timeout = std::chrono::seconds(60)) const;
    void Release() const;

private:
    fs::path m_marker;
};

// Waits until the file holds a process id and returns it.
std::optional<pid_t> ReadPidFile(const fs::path& file, std::chrono::seconds timeout);
void KillHard(pid_t pid);

// The bytes of every pack file of a folder, by file name.
using PackSet = std::map<std::string, std::string>;
PackSet ReadPacks(const fs::path& packsFolder);

// The packs that are neither their old nor their new version (a pack absent from both sets may
// be absent on disk, a pack absent from the old set may be missing).
std::vector<std::string> DamagedPacks(const fs::path& packsFolder, const PackSet& oldPacks,
                                      const PackSet& newPacks);

// Looks at packs/ over and over while a launcher works on it and remembers every damaged pack it
// saw, so that a pack half written in place would be caught even if it were mended later.
class PackWatcher {
public:
    PackWatcher(fs::path packsFolder, PackSet oldPacks, PackSet newPacks);
    ~PackWatcher();
    std::vector<std::string> Stop();

private:
    fs::path m_folder;
    PackSet m_old;
    PackSet m_new;
    std::atomic<bool> m_stop{false};
    std::vector<std::string> m_damaged;
    std::thread m_thread;
};

// The saved stage of a resume record in the client's scratch folder, if there is one.
std::optional<int> ResumeStage(const fs::path& launcherFolder);
// Writes a resume record of this launcher version (2.0.0.0) with the given stage.
void WriteResumeRecord(const fs::path& launcherFolder, int stage);

engine_test::RunReport ReportOf(const std::vector<std::string>& lines);

}  // namespace faults
