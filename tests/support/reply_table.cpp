#include "tests/support/reply_table.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace varnholt::test {

namespace {

const std::string kInfoPrefix = "info.php?";
const std::string kLauncherSuffix = ";Launcher";

void AppendUtf16Unit(std::string& out, unsigned unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace

std::string EncodeUtf16Le(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size() * 2);
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= utf8.size())
            throw std::invalid_argument("malformed UTF-8 in a test reply");
        unsigned code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80)
                throw std::invalid_argument("malformed UTF-8 in a test reply");
            code = (code << 6) | (next & 0x3F);
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            AppendUtf16Unit(out, 0xD800 | (code >> 10));
            AppendUtf16Unit(out, 0xDC00 | (code & 0x3FF));
        } else {
            AppendUtf16Unit(out, code);
        }
    }
    return out;
}

ServerReply ServerReply::Text(std::string text, int status) {
    return ServerReply{status, std::move(text), false, std::nullopt, ""};
}

ServerReply ServerReply::Bytes(std::string bytes, int status) {
    return ServerReply{status, std::move(bytes), true, std::nullopt, ""};
}

ServerReply ServerReply::Status(int status) {
    return ServerReply{status, "", true, std::nullopt, ""};
}

ServerReply ServerReply::Html(std::string page, int status) {
    return ServerReply{status, std::move(page), true, std::nullopt, "text/html; charset=utf-8"};
}

std::string ServerReply::EncodedBody() const { return raw ? body : EncodeUtf16Le(body); }

std::string ServerReply::ContentType() const {
    if (!contentType.empty()) return contentType;
    return raw ? "application/octet-stream" : "text/plain; charset=utf-16le";
}

void ReplyTable::SetLauncherReply(ServerReply reply) {
    std::lock_guard lock(m_mutex);
    m_launcher = std::move(reply);
}

void ReplyTable::SetCurrentLauncherVersion(std::string version) {
    std::lock_guard lock(m_mutex);
    m_currentLauncher = std::move(version);
}

void ReplyTable::SetLauncherSizeReply(ServerReply reply) {
    std::lock_guard lock(m_mutex);
    m_launcherSize = std::move(reply);
}

void ReplyTable::SetPackReply(const std::string& pack, const std::string& checksum,
                              ServerReply reply) {
    std::lock_guard lock(m_mutex);
    m_packs[pack + ";" + checksum] = std::move(reply);
}

void ReplyTable::SetUnknownPackReply(ServerReply reply) {
    std::lock_guard lock(m_mutex);
    m_unknownPack = std::move(reply);
}

void ReplyTable::SetReply(const std::string& address, ServerReply reply) {
    std::lock_guard lock(m_mutex);
    m_exact[address] = std::move(reply);
}

void ReplyTable::SetNewsPage(std::string html) {
    std::lock_guard lock(m_mutex);
    m_news = ServerReply::Html(std::move(html));
}

void ReplyTable::LoadReleaseFile(const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / "replies.txt";
    std::istringstream lines(ReadWholeFile(file));
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> f = SplitTabs(line);
        const std::string& kind = f[0];
        if (kind == "launcher" && f.size() == 2) {
            SetLauncherReply(ServerReply::Text(f[1]));
        } else if (kind == "launcher-current" && f.size() == 2) {
            SetCurrentLauncherVersion(f[1]);
        } else if (kind == "launcher-size" && f.size() == 2) {
            SetLauncherSizeReply(ServerReply::Text(f[1]));
        } else if (kind == "pack" && f.size() == 4) {
            SetPackReply(f[1], f[2], ServerReply::Text(f[3]));
        } else if (kind == "pack-unknown" && f.size() == 2) {
            SetUnknownPackReply(ServerReply::Text(f[1]));
        } else if (kind == "status" && f.size() == 3) {
            SetReply(f[1], ServerReply::Status(std::stoi(f[2])));
        } else {
            throw std::runtime_error(file.string() + ":" + std::to_string(number) +
                                     ": cannot read the line \"" + line + "\"");
        }
    }
    if (std::filesystem::exists(folder / "news.html"))
        SetNewsPage(ReadWholeFile(folder / "news.html"));
}

std::optional<ServerReply> ReplyTable::Find(const std::string& address) const {
    std::lock_guard lock(m_mutex);
    if (auto exact = m_exact.find(address); exact != m_exact.end()) return exact->second;
    if (address.starts_with(kInfoPrefix)) return FindInfoReply(address.substr(kInfoPrefix.size()));
    if (address == "news.html") return m_news;
    return std::nullopt;
}

std::optional<ServerReply> ReplyTable::FindInfoReply(const std::string& query) const {
    if (query == "Size" + kLauncherSuffix) return m_launcherSize;
    if (query.ends_with(kLauncherSuffix)) {
        if (!m_currentLauncher) return m_launcher;
        const std::string version = query.substr(0, query.size() - kLauncherSuffix.size());
        return ServerReply::Text(version == *m_currentLauncher ? "1" : "0");
    }
    if (query.starts_with("Pack;")) {
        if (auto pack = m_packs.find(query.substr(5)); pack != m_packs.end()) return pack->second;
        return m_unknownPack;
    }
    return std::nullopt;
}

}  // namespace varnholt::test
