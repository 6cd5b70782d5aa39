#include "tests/support/swarm/seeder_alerts.h"

#include <algorithm>
#include <chrono>
#include <libtorrent/alert_types.hpp>

namespace swarm {

namespace lt = libtorrent;

SeederAlerts::SeederAlerts(lt::session& session, std::vector<lt::torrent_handle> torrents)
    : m_session(session),
      m_torrents(std::move(torrents)),
      m_answered(m_torrents.size(), false),
      m_lastError(m_torrents.size()),
      m_thread([this] { Run(); }) {}

SeederAlerts::~SeederAlerts() {
    m_stop = true;
    m_thread.join();
}

bool SeederAlerts::Answered(std::size_t torrent) const {
    std::lock_guard lock(m_mutex);
    return m_answered.at(torrent);
}

std::string SeederAlerts::LastTrackerError(std::size_t torrent) const {
    std::lock_guard lock(m_mutex);
    return m_lastError.at(torrent);
}

void SeederAlerts::Run() {
    std::vector<lt::alert*> alerts;
    while (!m_stop) {
        m_session.wait_for_alert(std::chrono::milliseconds(100));
        m_session.pop_alerts(&alerts);
        for (const lt::alert* alert : alerts) Handle(alert);
    }
}

void SeederAlerts::Handle(const lt::alert* alert) {
    if (const auto* lost = lt::alert_cast<lt::peer_disconnected_alert>(alert)) {
        // Only a connection that stood and then went silent; a failed connect of our own is not
        // retried, so a peer that is gone for good is tried once.
        if (lost->op != lt::operation_t::connect && lost->error == boost::system::errc::timed_out)
            lost->handle.connect_peer(lost->endpoint);
        return;
    }
    const auto* reply = lt::alert_cast<lt::tracker_reply_alert>(alert);
    const lt::tracker_alert* complaint = lt::alert_cast<lt::tracker_error_alert>(alert);
    if (complaint == nullptr) complaint = lt::alert_cast<lt::tracker_warning_alert>(alert);
    const lt::tracker_alert* about = reply != nullptr ? reply : complaint;
    if (about == nullptr) return;
    const auto found = std::find(m_torrents.begin(), m_torrents.end(), about->handle);
    if (found == m_torrents.end()) return;
    const auto i = static_cast<std::size_t>(found - m_torrents.begin());
    std::lock_guard lock(m_mutex);
    if (reply != nullptr) {
        m_answered[i] = true;
    } else {
        m_lastError[i] = complaint->message();
    }
}

}  // namespace swarm
