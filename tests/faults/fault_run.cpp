#include "tests/faults/fault_run.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>

namespace faults {

ScopedEnvironment::ScopedEnvironment(std::map<std::string, std::string> variables)
    : m_variables(std::move(variables)) {
    for (const auto& [name, value] : m_variables) setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
    for (const auto& [name, value] : m_variables) unsetenv(name.c_str());
}

std::string Pause::RuleFor(const std::string& operation, const std::string& suffix) const {
    return operation + ":" + suffix + ":" + m_marker.string();
}

std::optional<pid_t> Pause::Wait(std::chrono::seconds timeout) const {
    return ReadPidFile(m_marker, timeout);
}

void Pause::Release() const { fs::remove(m_marker); }

std::optional<pid_t> ReadPidFile(const fs::path& file, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        const std::string text = fs::exists(file, error) ? engine_test::ReadFile(file) : "";
        // Only a whole line counts: the writer may not have finished it yet.
        const pid_t pid = std::atoi(text.c_str());
        if (!text.empty() && text.back() == '\n' && pid > 0) return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return std::nullopt;
}

void KillHard(pid_t pid) {
    // Only ever the launcher a test started, never a process that happens to reuse the id.
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    if (!error && program.filename() == "VarnholtLauncher.exe") kill(pid, SIGKILL);
}

PackSet ReadPacks(const fs::path& packsFolder) {
    PackSet packs;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(packsFolder, error))
        if (entry.path().extension() == ".vh")
            packs[entry.path().filename().string()] = engine_test::ReadFile(entry.path());
    return packs;
}

std::vector<std::string> DamagedPacks(const fs::path& packsFolder, const PackSet& oldPacks,
                                      const PackSet& newPacks) {
    std::vector<std::string> damaged;
    const PackSet now = ReadPacks(packsFolder);
    for (const auto& [name, bytes] : now) {
        const auto oldPack = oldPacks.find(name);
        const auto newPack = newPacks.find(name);
        const bool isOld = oldPack != oldPacks.end() && oldPack->second == bytes;
        const bool isNew = newPack != newPacks.end() && newPack->second == bytes;
        if (!isOld && !isNew)
            damaged.push_back(name + " (" + std::to_string(bytes.size()) + " bytes)");
    }
    for (const auto& [name, bytes] : oldPacks)
        if (now.count(name) == 0) damaged.push_back(name + " (gone)");
    return damaged;
}

PackWatcher::PackWatcher(fs::path packsFolder, PackSet oldPacks, PackSet newPacks)
    : m_folder(std::move(packsFolder)), m_old(std::move(oldPacks)), m_new(std::move(newPacks)) {
    m_thread = std::thread([this] {
        while (!m_stop) {
            for (const std::string& name : DamagedPacks(m_folder, m_old, m_new))
                if (m_damaged.size() < 20) m_damaged.push_back(name);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
}

PackWatcher::~PackWatcher() { Stop(); }

std::vector<std::string> PackWatcher::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    return m_damaged;
}

std::optional<int> ResumeStage(const fs::path& launcherFolder) {
    const fs::path record = launcherFolder / "temp" / "resume.data";
    if (!fs::exists(record)) return std::nullopt;
    const std::string bytes = engine_test::ReadFile(record);
    if (bytes.size() < 12) return std::nullopt;
    uint32_t stage = 0;
    for (int i = 3; i >= 0; --i) stage = (stage << 8) | static_cast<unsigned char>(bytes[8 + i]);
    return static_cast<int>(stage);
}

void WriteResumeRecord(const fs::path& launcherFolder, int stage) {
    // Version 2.0.0.0: low double word 0, high double word 0x00020000.
    std::string record(16, '\0');
    record[6] = 2;
    record[8] = static_cast<char>(stage);
    fs::create_directories(launcherFolder / "temp");
    engine_test::WriteFile(launcherFolder / "temp" / "resume.data", record);
}

engine_test::RunReport ReportOf(const std::vector<std::string>& lines) {
    return engine_test::ParseReport(lines, "2.0.0.0");
}

}  // namespace faults
