#include "tests/swarm/raw_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <thread>

namespace swarm_test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kProtocol[] = "BitTorrent protocol";
constexpr std::size_t kHandshakeSize = 1 + 19 + 8 + 20 + 20;
constexpr unsigned char kExtendedMessage = 20;
constexpr std::size_t kLargestMessage = 1 << 20;

sockaddr_in Address(const std::string& address, uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &result.sin_addr) != 1)
        throw std::invalid_argument("no IPv4 address: " + address);
    return result;
}

class Socket {
public:
    Socket() : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (m_fd < 0) throw std::runtime_error("cannot make a socket");
    }
    ~Socket() { close(m_fd); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool Connect(const sockaddr_in& from, const sockaddr_in& to) {
        return bind(m_fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) == 0 &&
               connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    }

    bool Send(const std::string& bytes) {
        return send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }

    // Exactly `size` bytes, or nothing when the peer closed or the deadline passed first.
    std::optional<std::string> Receive(std::size_t size, Clock::time_point deadline) {
        std::string bytes;
        while (bytes.size() < size) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd pfd{m_fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            char buffer[4096];
            const ssize_t n = recv(m_fd, buffer, std::min(sizeof buffer, size - bytes.size()), 0);
            if (n <= 0) return std::nullopt;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return bytes;
    }

private:
    int m_fd;
};

std::string Handshake(const std::string& infoHash) {
    std::string reserved(8, '\0');
    reserved[5] = 0x10;  // the extension protocol
    return std::string(1, static_cast<char>(sizeof kProtocol - 1)) + kProtocol + reserved +
           infoHash + "-XX0000-rawpeer00000";
}

uint32_t BigEndian(const std::string& bytes) {
    uint32_t value = 0;
    for (char c : bytes) value = (value << 8) | static_cast<unsigned char>(c);
    return value;
}

// The session's answer on a connection that has sent the handshake, if it answered.
std::optional<PeerGreeting> ReadGreeting(Socket& peer, const std::string& infoHash,
                                         Clock::time_point deadline) {
    const std::optional<std::string> handshake = peer.Receive(kHandshakeSize, deadline);
    if (!handshake) return std::nullopt;
    if (handshake->substr(0, 20) != Handshake(infoHash).substr(0, 20) ||
        handshake->substr(28, 20) != infoHash)
        throw std::runtime_error("the session answered with no handshake of this torrent");
    PeerGreeting greeting{handshake->substr(48), {}};
    // The extended handshake follows the handshake at once, among the session's first messages.
    const Clock::time_point messagesEnd =
        std::min(deadline, Clock::now() + std::chrono::seconds(5));
    while (const std::optional<std::string> length = peer.Receive(4, messagesEnd)) {
        const uint32_t size = BigEndian(*length);
        if (size > kLargestMessage) throw std::runtime_error("the session sent a huge message");
        const std::optional<std::string> message = peer.Receive(size, messagesEnd);
        if (!message) break;
        if (size >= 2 && static_cast<unsigned char>((*message)[0]) == kExtendedMessage &&
            (*message)[1] == 0) {
            greeting.extendedHandshake = message->substr(2);
            break;
        }
    }
    return greeting;
}

}  // namespace

PeerGreeting GreetSession(const std::string& fromAddress, const std::string& toAddress,
                          uint16_t port, const std::string& infoHash,
                          std::chrono::seconds timeout) {
    if (infoHash.size() != 20) throw std::invalid_argument("an info-hash has 20 bytes");
    const sockaddr_in from = Address(fromAddress, 0);
    const sockaddr_in to = Address(toAddress, port);
    const Clock::time_point deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        Socket peer;
        if (peer.Connect(from, to) && peer.Send(Handshake(infoHash))) {
            if (std::optional<PeerGreeting> greeting = ReadGreeting(peer, infoHash, deadline))
                return *greeting;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    throw std::runtime_error("no handshake from " + toAddress + ":" + std::to_string(port));
}

}  // namespace swarm_test
