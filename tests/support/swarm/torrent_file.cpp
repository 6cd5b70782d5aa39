#include "tests/support/swarm/torrent_file.h"

#include <fstream>
#include <iterator>
#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/file_storage.hpp>
#include <libtorrent/torrent_info.hpp>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace swarm {

namespace lt = libtorrent;

namespace {

std::string ToHex(const lt::sha1_hash& hash) {
    std::ostringstream text;
    text << hash;
    return text.str();
}

}  // namespace

std::string MakeTorrentFile(const std::filesystem::path& payload,
                            const std::filesystem::path& torrentFile,
                            const std::string& trackerUrl) {
    lt::file_storage files;
    lt::add_files(files, payload.string());
    if (files.num_files() != 1) {
        throw std::runtime_error("cannot make a torrent of " + payload.string() +
                                 ": not a single file");
    }
    lt::create_torrent torrent(files, 0, lt::create_torrent::v1_only);
    torrent.add_tracker(trackerUrl);
    torrent.set_creator("Varnholt release");
    lt::error_code error;
    lt::set_piece_hashes(torrent, payload.parent_path().string(), error);
    if (error) {
        throw std::runtime_error("cannot hash " + payload.string() + ": " + error.message());
    }
    std::vector<char> encoded;
    lt::bencode(std::back_inserter(encoded), torrent.generate());
    {
        std::ofstream out(torrentFile, std::ios::binary | std::ios::trunc);
        out.write(encoded.data(), static_cast<std::streamsize>(encoded.size()));
        if (!out) throw std::runtime_error("cannot write " + torrentFile.string());
    }
    return ToHex(lt::torrent_info(encoded, lt::from_span).info_hashes().v1);
}

std::string ReadInfoHash(const std::filesystem::path& torrentFile) {
    lt::error_code error;
    const lt::torrent_info info(torrentFile.string(), error);
    if (error) {
        throw std::runtime_error("cannot read " + torrentFile.string() + ": " + error.message());
    }
    return ToHex(info.info_hashes().v1);
}

}  // namespace swarm
