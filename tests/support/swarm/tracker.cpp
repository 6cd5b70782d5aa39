#include "tests/support/swarm/tracker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "tests/support/swarm/run_program.h"

namespace swarm {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Socket {
public:
    explicit Socket(int type) : m_fd(socket(AF_INET, type | SOCK_CLOEXEC, 0)) {
        if (m_fd < 0) throw std::runtime_error("cannot make a socket");
    }
    ~Socket() { close(m_fd); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Accepts(uint16_t port) {
    Socket socket(SOCK_STREAM);
    const sockaddr_in address = LoopbackAddress(port);
    return connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

void CheckInfoHash(const std::string& hash) {
    const bool valid = hash.size() == 40 && std::all_of(hash.begin(), hash.end(), [](char c) {
                           return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                       });
    if (!valid) throw std::invalid_argument("not a v1 info-hash: \"" + hash + "\"");
}

}  // namespace

std::string WhyTrackerCannotStart() {
    // opentracker started as root drops to "nobody", which a user namespace that maps only root
    // does not have; started as any other user it keeps that user.
    if (geteuid() != 0) return "";
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) return "opentracker needs the user nobody, and there is none";
    std::ifstream map("/proc/self/uid_map");
    unsigned long inside = 0, outside = 0, count = 0;
    while (map >> inside >> outside >> count) {
        if (nobody->pw_uid >= inside && nobody->pw_uid - inside < count) return "";
    }
    return "opentracker drops to the user nobody, which this user namespace does not map (run "
           "as root)";
}

bool IsTcpPortFree(uint16_t port) {
    Socket socket(SOCK_STREAM);
    // SO_REUSEADDR lets the probe ignore connections left in TIME_WAIT by an earlier tracker,
    // while a socket that still listens on the port makes the bind fail.
    const int on = 1;
    setsockopt(socket.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = LoopbackAddress(port);
    return bind(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

Tracker::Tracker(const std::vector<std::string>& infoHashes, const fs::path& workFolder,
                 uint16_t port)
    : m_port(port), m_folder(workFolder / ("tracker-" + std::to_string(port))) {
    if (!IsTcpPortFree(port)) {
        throw std::runtime_error("cannot start the tracker: 127.0.0.1:" + std::to_string(port) +
                                 " is already in use");
    }
    if (const std::string why = WhyTrackerCannotStart(); !why.empty()) {
        throw std::runtime_error("cannot start the tracker: " + why);
    }
    fs::create_directories(m_folder);
    // opentracker drops to the user "nobody" inside its chroot, so the folder and the whitelist
    // must be readable by everyone.
    fs::permissions(m_folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    {
        std::ofstream whitelist(m_folder / "whitelist", std::ios::trunc);
        for (const std::string& hash : infoHashes) {
            CheckInfoHash(hash);
            whitelist << hash << '\n';
        }
        if (!whitelist)
            throw std::runtime_error("cannot write " + (m_folder / "whitelist").string());
    }
    fs::permissions(m_folder / "whitelist", fs::perms::owner_read | fs::perms::owner_write |
                                                fs::perms::group_read | fs::perms::others_read);

    // opentracker drops its privileges, which clears a parent-death signal; a small shell that
    // keeps it stands between, ends it on SIGTERM and waits for it.
    m_pid = StartProgramTiedToThisThread({"sh", "-c",
                                          "trap 'kill $! 2>/dev/null; wait; exit 0' TERM\n"
                                          "opentracker \"$@\" &\n"
                                          "wait $!",
                                          "opentracker-guard", "-i", "127.0.0.1", "-p",
                                          std::to_string(port), "-d", m_folder.string(), "-w",
                                          "whitelist"});
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!Accepts(port)) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("opentracker ended before it accepted connections on port " +
                                     std::to_string(port));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            throw std::runtime_error("opentracker did not accept connections on port " +
                                     std::to_string(port) + " within 10 s");
        }
        std::this_thread::sleep_for(20ms);
    }
}

Tracker::~Tracker() { Stop(); }

void Tracker::Stop() noexcept {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    // opentracker ends at once on SIGTERM; one that hangs is killed rather than left behind.
    for (int i = 0; i < 250; ++i) {
        int status = 0;
        const pid_t result = waitpid(m_pid, &status, WNOHANG);
        if (result == m_pid || (result < 0 && errno != EINTR)) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(20ms);
    }
    kill(-m_pid, SIGKILL);  // the shell and opentracker, in their own process group
    while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

}  // namespace swarm
