#include "tools/demo_server/demo_services.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

DemoServices::DemoServices(std::filesystem::path releaseFolder, Log log)
    : m_releaseFolder(std::move(releaseFolder)),
      m_log(std::move(log)),
      m_release(swarm::LoadRelease(m_releaseFolder)) {}

DemoServices::~DemoServices() { Stop(); }

void DemoServices::Start() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "varnholt-demo-tracker-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder for the tracker from " + pattern + ": " +
                                 std::strerror(errno));
    }
    m_workFolder = pattern;
    m_tracker = std::make_unique<swarm::Tracker>(m_release.infoHashes, m_workFolder);
    m_log("tracker: opentracker on 127.0.0.1:" + std::to_string(m_tracker->Port()) + " admits " +
          std::to_string(m_release.infoHashes.size()) + " torrents");

    m_seeder = std::make_unique<swarm::Seeder>(m_release.torrentFiles, m_release.PatchFolder());
    m_seeder->Start();
    m_seeder->WaitUntilSeeding(std::chrono::seconds(60));
    m_log(std::string("seeder: ") + swarm::kSeederAddress + ":" +
          std::to_string(swarm::kSeederPort) + " seeds every archive of " +
          m_release.PatchFolder().string() + ", and the tracker knows it");

    // The server comes last: a launcher that reaches it finds the swarm ready.
    m_server = std::make_unique<varnholt::test::UpdateServer>();
    m_server->LoadRelease(m_releaseFolder);
    m_server->SetLogger(m_log);
    m_server->Start();
    m_log("server: serving " + m_releaseFolder.string() + " at " + m_server->BaseUrl());
}

void DemoServices::Stop() {
    if (m_server) {
        m_server->Stop();
        m_server.reset();
        m_log("server: stopped");
    }
    if (m_seeder) {
        m_seeder->Stop();
        m_seeder.reset();
        m_log("seeder: stopped");
    }
    if (m_tracker) {
        m_tracker.reset();
        m_log("tracker: stopped");
    }
    if (!m_workFolder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_workFolder, ignored);
        m_workFolder.clear();
    }
}
