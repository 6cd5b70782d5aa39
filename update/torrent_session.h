#pragma once

// The launcher's one BitTorrent session. This is the only place that knows libtorrent: the update
// thread sees the session and its torrents through this one small class.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// A failure reported by the BitTorrent library: a .torrent file that cannot be read or parsed, a
// torrent the session refuses, a query on a torrent that is gone, a torrent the library has
// stopped. The message names the file or torrent and the library's reason.
class CTorrentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CTorrentSession {
public:
    // Starts a session that identifies itself as "VH" with the four 16-bit parts of the given file
    // version (most significant first) and listens on 0.0.0.0 on the first free port of 48130 to
    // 48140, never outside that range. No extensions, no port mapping, no DHT, no local service
    // discovery. Throws CTorrentError.
    explicit CTorrentSession(uint64_t qwVersion);
    // Blocks until the library has shut the session, its torrents and its threads down.
    ~CTorrentSession();
    CTorrentSession(const CTorrentSession&) = delete;
    CTorrentSession& operator=(const CTorrentSession&) = delete;

    // Adds the torrent described by a .torrent file, saving its payload below savePath; both paths
    // are UTF-8. The torrent starts through the library's own queue, without resume data; adding a
    // torrent the session already has is no error. Returns the number by which the queries below
    // name the torrent. Throws CTorrentError.
    int AddTorrent(const std::string& torrentFile, const std::string& savePath);

    // True once the torrent has every piece it wants. Throws CTorrentError, also when the library
    // has stopped the torrent on an error of its own (a payload file it cannot write, a full
    // disk): such a torrent would never finish. That message names the file and the reason.
    bool IsFinished(int nTorrent) const;
    // Payload bytes downloaded so far over all files, counted to the byte (not whole pieces).
    // Throws CTorrentError.
    int64_t GetFileProgress(int nTorrent) const;
    // Payload size from the metadata. Throws CTorrentError.
    int64_t GetTotalSize(int nTorrent) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
