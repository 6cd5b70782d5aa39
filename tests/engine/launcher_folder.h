// Test fixtures of the engine: a fresh launcher folder holding a copy of the driver program and
// the game's packs, zips made with Python's zipfile, and the driver run as a child process whose
// output lines the test reads.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace engine_test {

namespace fs = std::filesystem;

// A new empty folder below the system's temporary folder; the caller removes it.
fs::path MakeTempFolder(const std::string& prefix);
std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);
// Adler-32 from seed 0 over the whole text (the sampled checksum of a file below 1 MiB), as
// eight upper-case hexadecimal digits.
std::string SmallFileChecksum(const std::string& bytes);

// Writes a zip with the given entry names and contents through Python's zipfile, which stores
// names such as "../x" or "/x" as they are given. A name ending in "/" is a folder entry.
void MakeZip(const fs::path& zip, const std::vector<std::pair<std::string, std::string>>& entries);

extern const char* const kPackNames[21];

class LauncherFolder {
public:
    // A new folder below the system's temporary folder holding the driver as the launcher.
    explicit LauncherFolder(const fs::path& driver);
    ~LauncherFolder();

    const fs::path& Dir() const { return m_dir; }
    fs::path Launcher() const { return m_dir / "VarnholtLauncher.exe"; }
    fs::path Pack(const std::string& name) const { return m_dir / "packs" / (name + ".vh"); }

    // Every pack with a small content of its own; the resources pack a zip of these entries.
    void AddPacks(const std::vector<std::pair<std::string, std::string>>& resources);

private:
    fs::path m_dir;
};

// The driver running as a child process, its output read line by line.
class Driver {
public:
    // The driver's standard error goes to errorFile when one is given, else to the test's own.
    Driver(const fs::path& program, const std::vector<std::string>& args,
           const fs::path& errorFile = {});
    ~Driver();

    // The next output line, or nothing when the output ended or the time ran out.
    std::optional<std::string> ReadLine(std::chrono::seconds timeout = std::chrono::seconds(60));
    // Reads until a line contains text; returns every line read so far.
    std::vector<std::string> ReadUntil(const std::string& text,
                                       std::chrono::seconds timeout = std::chrono::seconds(60));
    // Tells the driver the player closed the window.
    void Close();
    // Reads the rest of the output until every process holding it has ended.
    std::vector<std::string> ReadToEnd(std::chrono::seconds timeout = std::chrono::seconds(60));
    const std::vector<std::string>& Lines() const { return m_lines; }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_pending;
    std::vector<std::string> m_lines;
};

// What a run reported, parsed from the driver's lines of one version.
struct RunReport {
    std::vector<std::pair<int, int>> statuses;  // (status, percent) in order
    int errorCode = -2;
    std::string errorMessage;
    bool exited = false;

    int FinalStatus() const { return statuses.empty() ? -1 : statuses.back().first; }
    bool Saw(int status) const;
};
RunReport ParseReport(const std::vector<std::string>& lines, const std::string& version);

}  // namespace engine_test
