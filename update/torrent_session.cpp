#include "update/torrent_session.h"

#include <exception>
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert.hpp>
#include <libtorrent/fingerprint.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>
#include <vector>

namespace lt = libtorrent;

namespace {

constexpr const char* kListenInterface = "0.0.0.0:48130";
// Ports tried after the first one: 48131 to 48140.
constexpr int kListenRetries = 10;

// Turns whatever the library threw into a CTorrentError that says what was being done.
[[noreturn]] void Rethrow(const std::string& what) {
    try {
        throw;
    } catch (const CTorrentError&) {
        throw;
    } catch (const std::exception& e) {
        throw CTorrentError(what + ": " + e.what());
    } catch (...) {
        throw CTorrentError(what);
    }
}

}  // namespace

struct CTorrentSession::Impl {
    struct Added {
        lt::torrent_handle handle;
        std::string torrentFile;
        std::string savePath;
        std::shared_ptr<const lt::torrent_info> info;

        // "torrent T has stopped: FILE: REASON", with FILE when the library names a payload file.
        std::string StoppedText(const lt::torrent_status& status) const {
            std::string text = "torrent " + torrentFile + " has stopped: ";
            if (status.error_file >= lt::file_index_t{0} &&
                status.error_file < info->files().end_file()) {
                text += info->files().file_path(status.error_file, savePath) + ": ";
            }
            return text + status.errc.message();
        }
    };

    std::unique_ptr<lt::session> session;
    std::vector<Added> torrents;

    const Added& Torrent(int nTorrent) const {
        if (nTorrent < 0 || static_cast<size_t>(nTorrent) >= torrents.size()) {
            throw CTorrentError("no torrent " + std::to_string(nTorrent) + " in this session");
        }
        return torrents[static_cast<size_t>(nTorrent)];
    }
};

CTorrentSession::CTorrentSession(uint64_t qwVersion) : m_pImpl(std::make_unique<Impl>()) {
    const int major = static_cast<int>((qwVersion >> 48) & 0xFFFF);
    const int minor = static_cast<int>((qwVersion >> 32) & 0xFFFF);
    const int revision = static_cast<int>((qwVersion >> 16) & 0xFFFF);
    const int tag = static_cast<int>(qwVersion & 0xFFFF);
    try {
        lt::settings_pack settings;
        settings.set_str(lt::settings_pack::listen_interfaces, kListenInterface);
        settings.set_int(lt::settings_pack::max_retry_port_bind, kListenRetries);
        settings.set_bool(lt::settings_pack::listen_system_port_fallback, false);
        settings.set_str(lt::settings_pack::peer_fingerprint,
                         lt::generate_fingerprint("VH", major, minor, revision, tag));
        settings.set_int(lt::settings_pack::alert_mask,
                         static_cast<int>(static_cast<std::uint32_t>(lt::alert_category::error)));
        settings.set_bool(lt::settings_pack::enable_upnp, false);
        settings.set_bool(lt::settings_pack::enable_natpmp, false);
        settings.set_bool(lt::settings_pack::enable_dht, false);
        settings.set_bool(lt::settings_pack::enable_lsd, false);
        // An empty plugin list: none of the library's default extensions.
        lt::session_params params(std::move(settings), {});
        m_pImpl->session = std::make_unique<lt::session>(std::move(params));
    } catch (...) {
        Rethrow("cannot start the BitTorrent session");
    }
}

CTorrentSession::~CTorrentSession() = default;

int CTorrentSession::AddTorrent(const std::string& torrentFile, const std::string& savePath) {
    try {
        lt::add_torrent_params params;
        params.save_path = savePath;
        params.ti = std::make_shared<lt::torrent_info>(torrentFile);
        std::shared_ptr<const lt::torrent_info> info = params.ti;
        lt::torrent_handle handle = m_pImpl->session->add_torrent(std::move(params));
        m_pImpl->torrents.push_back({std::move(handle), torrentFile, savePath, std::move(info)});
    } catch (...) {
        Rethrow("cannot add torrent " + torrentFile);
    }
    return static_cast<int>(m_pImpl->torrents.size() - 1);
}

bool CTorrentSession::IsFinished(int nTorrent) const {
    lt::torrent_status status;
    try {
        status = m_pImpl->Torrent(nTorrent).handle.status(lt::status_flags_t{});
    } catch (...) {
        Rethrow("cannot query torrent");
    }
    // The library pauses a torrent on an error of its own and never resumes it by itself.
    if (status.errc) throw CTorrentError(m_pImpl->Torrent(nTorrent).StoppedText(status));
    return status.is_finished;
}

int64_t CTorrentSession::GetFileProgress(int nTorrent) const {
    try {
        std::vector<std::int64_t> progress;
        m_pImpl->Torrent(nTorrent).handle.file_progress(progress, {});
        int64_t done = 0;
        for (std::int64_t bytes : progress) done += bytes;
        return done;
    } catch (...) {
        Rethrow("cannot query torrent");
    }
}

int64_t CTorrentSession::GetTotalSize(int nTorrent) const {
    try {
        auto info = m_pImpl->Torrent(nTorrent).handle.torrent_file();
        if (!info) throw CTorrentError("torrent has no metadata");
        return info->total_size();
    } catch (...) {
        Rethrow("cannot query torrent");
    }
}
