#include "tests/engine/launcher_folder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace engine_test {

const char* const kPackNames[21] = {"local",          "scripts",       "vhGUI",
                                    "res_pack",       "resources",     "spaces",
                                    "spaces1",        "speedtree",     "characters",
                                    "models",         "models1",       "tex_buildings",
                                    "tex_buildings2", "tex_landscape", "tex_materials",
                                    "tex_materials2", "tex_misc",      "tex_pack",
                                    "tex_characters", "tex_unwraps",   "sys"};

fs::path MakeTempFolder(const std::string& prefix) {
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
    return pattern;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string SmallFileChecksum(const std::string& bytes) {
    const uLong value =
        adler32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    char text[16];
    std::snprintf(text, sizeof text, "%08lX", value);
    return text;
}

void MakeZip(const fs::path& zip, const std::vector<std::pair<std::string, std::string>>& entries) {
    // Entry contents travel through files, so any bytes can go in.
    const fs::path staging = zip.string() + ".entries";
    fs::create_directories(staging);
    std::string script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED)\n"
        "for i in range(2, len(sys.argv), 2):\n"
        "    name = sys.argv[i]\n"
        "    if name.endswith('/'):\n"
        "        info = zipfile.ZipInfo(name)\n"
        "        info.external_attr = (0o40755 << 16) | 0x10\n"
        "        z.writestr(info, b'')\n"
        "    else:\n"
        "        info = zipfile.ZipInfo(name)\n"
        "        info.external_attr = 0o100644 << 16\n"
        "        z.writestr(info, open(sys.argv[i + 1], 'rb').read(), zipfile.ZIP_DEFLATED)\n"
        "z.close()\n";
    WriteFile(staging / "make.py", script);
    std::string command = "python3 '" + (staging / "make.py").string() + "' '" + zip.string() + "'";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const fs::path content = staging / std::to_string(i);
        WriteFile(content, entries[i].second);
        command += " '" + entries[i].first + "' '" + content.string() + "'";
    }
    fs::create_directories(zip.parent_path());
    if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot make " + zip.string());
    fs::remove_all(staging);
}

LauncherFolder::LauncherFolder(const fs::path& driver) : m_dir(MakeTempFolder("varnholt-engine")) {
    fs::copy_file(driver, Launcher());
    fs::permissions(Launcher(), fs::perms::owner_all, fs::perm_options::add);
}

LauncherFolder::~LauncherFolder() {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
}

void LauncherFolder::AddPacks(const std::vector<std::pair<std::string, std::string>>& resources) {
    for (const char* name : kPackNames) {
        if (std::string(name) == "resources")
            MakeZip(Pack(name), resources);
        else
            WriteFile(Pack(name), std::string("pack ") + name + " of the current client\n");
    }
}

Driver::Driver(const fs::path& program, const std::vector<std::string>& args,
               const fs::path& errorFile) {
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make pipes");
    m_pid = fork();
    if (m_pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        if (!errorFile.empty()) {
            const int error =
                open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (error < 0) _exit(126);
            dup2(error, 2);
        }
        // The engine's texts in English, whatever the machine's language.
        setenv("LC_ALL", "C.UTF-8", 1);
        std::vector<char*> argv;
        std::string path = program.string();
        argv.push_back(path.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    m_in = toChild[1];
    m_out = fromChild[0];
    signal(SIGPIPE, SIG_IGN);
}

Driver::~Driver() {
    if (m_in >= 0) close(m_in);
    if (m_out >= 0) close(m_out);
    if (m_pid > 0) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
    }
}

std::optional<std::string> Driver::ReadLine(std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            m_lines.push_back(line);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_out < 0) return std::nullopt;
        pollfd pfd{m_out, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(m_out, buffer, sizeof buffer);
        if (n <= 0) {
            close(m_out);
            m_out = -1;
            return std::nullopt;
        }
        m_pending.append(buffer, static_cast<std::size_t>(n));
    }
}

std::vector<std::string> Driver::ReadUntil(const std::string& text, std::chrono::seconds timeout) {
    while (auto line = ReadLine(timeout))
        if (line->find(text) != std::string::npos) break;
    return m_lines;
}

void Driver::Close() {
    if (m_in >= 0 && write(m_in, "close\n", 6) < 0) {
        // The driver has gone; the test sees that in its output.
    }
}

std::vector<std::string> Driver::ReadToEnd(std::chrono::seconds timeout) {
    while (ReadLine(timeout)) {
    }
    if (m_pid > 0) {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    return m_lines;
}

bool RunReport::Saw(int status) const {
    for (const auto& [s, p] : statuses)
        if (s == status) return true;
    return false;
}

RunReport ParseReport(const std::vector<std::string>& lines, const std::string& version) {
    RunReport report;
    for (const std::string& line : lines) {
        std::istringstream in(line);
        std::string v, kind;
        in >> v >> kind;
        if (v != version) continue;
        if (kind == "status") {
            int s = 0, p = 0;
            in >> s >> p;
            report.statuses.emplace_back(s, p);
        } else if (kind == "error") {
            in >> report.errorCode;
            std::getline(in, report.errorMessage);
            if (!report.errorMessage.empty() && report.errorMessage[0] == ' ')
                report.errorMessage.erase(0, 1);
        } else if (kind == "exited") {
            report.exited = true;
        }
    }
    return report;
}

}  // namespace engine_test
