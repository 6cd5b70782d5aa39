// A BitTorrent tracker for tests: Debian's opentracker on 127.0.0.1, admitting only the given
// torrents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace swarm {

inline constexpr uint16_t kTrackerPort = 6969;
inline constexpr const char* kTrackerAnnounceUrl = "http://127.0.0.1:6969/announce";

// Starts opentracker on 127.0.0.1:port (TCP only) and stops it again when destroyed. opentracker
// runs whitelist-only and chroots into its folder, so the whitelist lives in a folder of its own
// (made below `workFolder`). The constructor returns once the tracker accepts connections, and
// throws std::runtime_error when the port is already taken (a second opentracker would silently
// share it) or the tracker does not come up. The tracker also ends when the thread that made
// this object ends, so a test that crashes leaves no tracker behind.
class Tracker {
public:
    // infoHashes: the v1 info-hashes of the torrents to admit, 40 hexadecimal digits each.
    Tracker(const std::vector<std::string>& infoHashes, const std::filesystem::path& workFolder,
            uint16_t port = kTrackerPort);
    ~Tracker();
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    uint16_t Port() const { return m_port; }

private:
    void Stop() noexcept;

    uint16_t m_port;
    std::filesystem::path m_folder;
    int m_pid = -1;
};

// True when nothing listens on 127.0.0.1:port (TCP).
bool IsTcpPortFree(uint16_t port);

// Why opentracker cannot run in this process's environment, or "" when it can.
std::string WhyTrackerCannotStart();

}  // namespace swarm
