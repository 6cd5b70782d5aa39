#include "tests/support/swarm/seeder.h"

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/support/swarm/seeder_alerts.h"

namespace swarm {

namespace lt = libtorrent;

struct Seeder::Session {
    lt::session session;
    std::vector<lt::torrent_handle> torrents;
    // Declared last: its thread ends before the session goes.
    std::unique_ptr<SeederAlerts> alerts;

    explicit Session(lt::session_params params) : session(std::move(params)) {}
};

namespace {

lt::settings_pack SeederSettings(uint16_t port) {
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::listen_interfaces,
                 std::string(kSeederAddress) + ":" + std::to_string(port));
    pack.set_str(lt::settings_pack::outgoing_interfaces, kSeederAddress);
    pack.set_int(lt::settings_pack::max_retry_port_bind, 0);
    pack.set_bool(lt::settings_pack::listen_system_port_fallback, false);
    pack.set_bool(lt::settings_pack::enable_dht, false);
    pack.set_bool(lt::settings_pack::enable_lsd, false);
    pack.set_bool(lt::settings_pack::enable_upnp, false);
    pack.set_bool(lt::settings_pack::enable_natpmp, false);
    // At the library's defaults only a handful of seeds are active, and the others never serve.
    pack.set_int(lt::settings_pack::active_seeds, 1000);
    pack.set_int(lt::settings_pack::active_limit, 2000);
    pack.set_int(lt::settings_pack::active_downloads, 1000);
    // Players behind one NAT share an address, and a launcher that falls back from uTP to TCP
    // comes again from its address while the first connection still stands. At the library's
    // default the second connection is refused, and the peer tries again only after a minute.
    pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
    // A test that stops the seeder should not wait for the goodbye to the tracker.
    pack.set_int(lt::settings_pack::stop_tracker_timeout, 1);
    pack.set_int(lt::settings_pack::alert_mask,
                 lt::alert_category::error | lt::alert_category::status);
    return pack;
}

lt::ip_filter LoopbackOnly() {
    lt::ip_filter filter;
    filter.add_rule(lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"),
                    lt::ip_filter::blocked);
    filter.add_rule(lt::make_address("127.0.0.0"), lt::make_address("127.255.255.255"), 0);
    filter.add_rule(lt::make_address("::"),
                    lt::make_address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"),
                    lt::ip_filter::blocked);
    return filter;
}

// A port that is taken does not stop the library from starting; it only says so in an alert, and
// the seeder would then serve nobody. Waits for the word on the TCP listen socket.
void WaitForListenSocket(lt::session& session, const std::string& address) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        session.wait_for_alert(std::chrono::milliseconds(100));
        std::vector<lt::alert*> alerts;
        session.pop_alerts(&alerts);
        for (const lt::alert* alert : alerts) {
            if (const auto* ok = lt::alert_cast<lt::listen_succeeded_alert>(alert)) {
                if (ok->socket_type == lt::socket_type_t::tcp) return;
            } else if (const auto* failed = lt::alert_cast<lt::listen_failed_alert>(alert)) {
                throw std::runtime_error("seeder cannot listen on " + address + ": " +
                                         failed->error.message());
            }
        }
    }
    throw std::runtime_error("seeder does not listen on " + address + " after 10 s");
}

std::string WhatIsMissing(const lt::torrent_status& status, const SeederAlerts& alerts,
                          size_t torrent) {
    if (!status.is_seeding) return "its payload is incomplete";
    const std::string error = alerts.LastTrackerError(torrent);
    return "the tracker has not answered its announce" +
           (error.empty() ? std::string() : " (" + error + ")");
}

}  // namespace

Seeder::Seeder(std::vector<std::filesystem::path> torrentFiles, std::filesystem::path payloadFolder,
               uint16_t port)
    : m_torrentFiles(std::move(torrentFiles)),
      m_payloadFolder(std::move(payloadFolder)),
      m_port(port) {}

Seeder::~Seeder() = default;

void Seeder::Start() {
    if (m_session) return;
    auto session = std::make_unique<Session>(lt::session_params(SeederSettings(m_port)));
    WaitForListenSocket(session->session,
                        std::string(kSeederAddress) + ":" + std::to_string(m_port));
    lt::settings_pack watched;
    watched.set_int(lt::settings_pack::alert_mask, lt::alert_category::error |
                                                       lt::alert_category::tracker |
                                                       lt::alert_category::connect);
    session->session.apply_settings(std::move(watched));
    session->session.set_ip_filter(LoopbackOnly());
    for (const std::filesystem::path& file : m_torrentFiles) {
        lt::add_torrent_params params;
        lt::error_code error;
        params.ti = std::make_shared<lt::torrent_info>(file.string(), error);
        if (error) {
            throw std::runtime_error("seeder cannot read " + file.string() + ": " +
                                     error.message());
        }
        params.save_path = m_payloadFolder.string();
        // Started at once, outside the library's queue, so that every torrent is served.
        params.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
        session->torrents.push_back(session->session.add_torrent(std::move(params), error));
        if (error) {
            throw std::runtime_error("seeder cannot add " + file.string() + ": " + error.message());
        }
    }
    session->alerts = std::make_unique<SeederAlerts>(session->session, session->torrents);
    m_session = std::move(session);
}

void Seeder::Stop() { m_session.reset(); }

bool Seeder::IsRunning() const { return m_session != nullptr; }

void Seeder::WaitUntilSeeding(std::chrono::milliseconds timeout) const {
    if (!m_session) throw std::logic_error("the seeder is not running");
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const SeederAlerts& alerts = *m_session->alerts;
    for (size_t i = 0; i < m_session->torrents.size(); ++i) {
        for (;;) {
            const lt::torrent_status status = m_session->torrents[i].status();
            if (status.errc) {
                throw std::runtime_error("seeder cannot serve " + m_torrentFiles[i].string() +
                                         ": " + status.errc.message());
            }
            if (status.is_seeding && alerts.Answered(i)) break;
            if (std::chrono::steady_clock::now() > deadline) {
                throw std::runtime_error("seeder is not seeding " + m_torrentFiles[i].string() +
                                         " after " + std::to_string(timeout.count()) +
                                         " ms: " + WhatIsMissing(status, alerts, i));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

int64_t Seeder::UploadedBytes() const {
    if (!m_session) return 0;
    int64_t total = 0;
    for (const lt::torrent_handle& torrent : m_session->torrents) {
        total += torrent.status().total_payload_upload;
    }
    return total;
}

}  // namespace swarm
