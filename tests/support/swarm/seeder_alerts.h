// What a seeding session's alerts tell and ask for, read on a thread of its own while the
// session runs.
//
// Tracker replies: a client that announces before the tracker knows the seeder gets no peer and
// waits for the tracker's next interval (about 30 minutes with opentracker), so a seeder is of
// use only once the tracker has answered its announce of every torrent.
//
// Lost peers: a launcher killed in the middle of a download leaves its uTP connection open here
// until it times out. Started again, it connects from the same address and port, the session
// refuses that as a duplicate of the dying connection, and the launcher tries again only a minute
// later. So when a peer's connection times out, the seeder connects back to it at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace swarm {

// The session needs the tracker and connect alert categories; it must outlive this object.
class SeederAlerts {
public:
    SeederAlerts(libtorrent::session& session, std::vector<libtorrent::torrent_handle> torrents);
    ~SeederAlerts();
    SeederAlerts(const SeederAlerts&) = delete;
    SeederAlerts& operator=(const SeederAlerts&) = delete;

    // Whether the tracker has answered an announce of the torrent (its index in `torrents`).
    bool Answered(std::size_t torrent) const;
    // What the tracker or the connection to it last said against the torrent, "" when nothing.
    std::string LastTrackerError(std::size_t torrent) const;

private:
    void Run();
    void Handle(const libtorrent::alert* alert);

    libtorrent::session& m_session;
    const std::vector<libtorrent::torrent_handle> m_torrents;
    mutable std::mutex m_mutex;
    std::vector<bool> m_answered;
    std::vector<std::string> m_lastError;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace swarm
