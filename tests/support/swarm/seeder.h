// A seeding BitTorrent session for tests, on loopback only.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace swarm {

inline constexpr const char* kSeederAddress = "127.0.0.2";
// Outside the launcher's range 48130-48140, which a launcher in the same network namespace needs.
inline constexpr uint16_t kSeederPort = 6881;

// Seeds the payload of the given .torrent files from one folder. The session listens on
// 127.0.0.2 only (the launcher sits on 127.0.0.1, and the tracker hands every peer its own
// address back), keeps DHT, local service discovery, UPnP and NAT-PMP off, talks to
// 127.0.0.0/8 only, accepts several connections from one address, and connects back to a peer
// whose connection timed out (see seeder_alerts.h). It can start late and stop in the middle, as
// often as a test likes.
class Seeder {
public:
    Seeder(std::vector<std::filesystem::path> torrentFiles, std::filesystem::path payloadFolder,
           uint16_t port = kSeederPort);
    ~Seeder();
    Seeder(const Seeder&) = delete;
    Seeder& operator=(const Seeder&) = delete;

    // Starts the session and adds every torrent; does nothing when already running.
    // Throws std::runtime_error when a .torrent file cannot be read or the session refuses it.
    void Start();
    // Ends the session at once (peers see the seeder vanish); does nothing when stopped.
    void Stop();
    bool IsRunning() const;

    // Waits until every torrent has checked its payload, seeds it and the tracker has answered
    // its announce, so that a client that announces afterwards is given the seeder; throws
    // std::runtime_error naming the first torrent that is not there in time.
    void WaitUntilSeeding(std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

    // Payload bytes uploaded by the running session so far.
    int64_t UploadedBytes() const;

private:
    struct Session;

    std::vector<std::filesystem::path> m_torrentFiles;
    std::filesystem::path m_payloadFolder;
    uint16_t m_port;
    std::unique_ptr<Session> m_session;
};

}  // namespace swarm
