// What the test update server answers: one reply per request address, scripted by a test or
// loaded from a release folder. Thread-safe; the server's handler threads read it while a test
// changes it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace varnholt::test {

struct ServerReply {
    int status = 200;
    // UTF-8 text that goes out as UTF-16LE without a byte-order mark, or the bytes as they
    // stand when raw is set.
    std::string body;
    bool raw = false;
    // Send only this many bytes of the encoded body, then hold the connection open without
    // sending more, as a server that stalls mid-transfer.
    std::optional<std::size_t> stallAfter;
    // Empty: UTF-16 plain text, or application/octet-stream for raw bytes.
    std::string contentType;

    static ServerReply Text(std::string text, int status = 200);
    static ServerReply Bytes(std::string bytes, int status = 200);
    static ServerReply Status(int status);
    static ServerReply Html(std::string page, int status = 200);

    // The bytes and their type as they go on the wire.
    std::string EncodedBody() const;
    std::string ContentType() const;
};

// UTF-8 to UTF-16LE; malformed input is a test bug and throws std::invalid_argument.
std::string EncodeUtf16Le(const std::string& utf8);

class ReplyTable {
public:
    // Launcher check "info.php?<any version>;Launcher".
    void SetLauncherReply(ServerReply reply);
    // Launcher check answered by version: "1" for the current version, "0" for every other one,
    // so that older launchers update themselves and the new one stops there. Wins over
    // SetLauncherReply.
    void SetCurrentLauncherVersion(std::string version);
    // Launcher update size "info.php?Size;Launcher".
    void SetLauncherSizeReply(ServerReply reply);
    // Pack status "info.php?Pack;<pack>;<checksum>".
    void SetPackReply(const std::string& pack, const std::string& checksum, ServerReply reply);
    // Pack status for every pack and checksum without a reply of its own.
    void SetUnknownPackReply(ServerReply reply);
    // An exact relative address (no leading '/'), e.g. "patch/VarnholtUpdate.exe"; wins over
    // every rule above and over the files of the patch folder.
    void SetReply(const std::string& address, ServerReply reply);
    void SetNewsPage(std::string html);

    // Reads "<folder>/replies.txt": one reply a line, fields separated by tabs:
    //   launcher <text> | launcher-current <version> | launcher-size <text> |
    //   pack <name> <checksum> <text> |
    //   pack-unknown <text> | status <address> <code>
    // Blank lines and lines starting with '#' are skipped. Also loads "<folder>/news.html" when
    // it exists. Throws std::runtime_error naming the file and line of anything it cannot read.
    void LoadReleaseFile(const std::filesystem::path& folder);

    // The scripted reply for a relative address such as "info.php?Pack;sys;0000ABCD", if any.
    std::optional<ServerReply> Find(const std::string& address) const;

private:
    std::optional<ServerReply> FindInfoReply(const std::string& query) const;

    mutable std::mutex m_mutex;
    std::map<std::string, ServerReply> m_exact;
    std::map<std::string, ServerReply> m_packs;  // key "<pack>;<checksum>"
    std::optional<ServerReply> m_launcher;
    std::optional<std::string> m_currentLauncher;
    std::optional<ServerReply> m_launcherSize;
    std::optional<ServerReply> m_unknownPack;
    std::optional<ServerReply> m_news;
};

}  // namespace varnholt::test
