// Everything a launcher needs from the outside world to update a game, for one release folder:
// the update server on 127.0.0.1:8080, opentracker on 127.0.0.1:6969 admitting only the
// release's torrents, and a seeding session on 127.0.0.2 that talks to 127.0.0.0/8 only.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/swarm/release.h"
#include "tests/support/swarm/seeder.h"
#include "tests/support/swarm/tracker.h"
#include "tests/support/update_server.h"

class DemoServices {
public:
    using Log = std::function<void(const std::string& line)>;

    // Reads the release folder; throws std::runtime_error when it is no release. The tracker
    // gets a folder of its own below the temporary folder, removed again by Stop.
    DemoServices(std::filesystem::path releaseFolder, Log log);
    // Stops whatever is still running.
    ~DemoServices();
    DemoServices(const DemoServices&) = delete;
    DemoServices& operator=(const DemoServices&) = delete;

    // Starts tracker, seeder and server in that order and returns once the tracker has answered
    // the seeder's announce of every torrent, so a launcher started afterwards finds a full
    // swarm at once. Throws std::runtime_error (a port in use, a torrent the seeder cannot
    // serve or the tracker does not answer); what had started is stopped again by the
    // destructor.
    void Start();
    // Stops server, seeder and tracker, the reverse of the start, and removes the tracker's
    // folder. Safe to call twice.
    void Stop();

private:
    std::filesystem::path m_releaseFolder;
    std::filesystem::path m_workFolder;
    Log m_log;
    swarm::Release m_release;
    std::unique_ptr<swarm::Tracker> m_tracker;
    std::unique_ptr<swarm::Seeder> m_seeder;
    std::unique_ptr<varnholt::test::UpdateServer> m_server;
};
