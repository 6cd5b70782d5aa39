// A bare BitTorrent peer on loopback, for looking at what a session tells the peers it meets:
// the peer id of its handshake and the extended handshake in which it lists its extensions.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace swarm_test {

struct PeerGreeting {
    std::string peerId;  // the 20 bytes of the session's handshake
    // The bencoded dictionary of the session's extended handshake; empty when none came.
    std::string extendedHandshake;
};

// Dials the session at toAddress:port from fromAddress, offers the extension protocol in a
// handshake for the torrent with the given 20-byte info-hash, and reads the session's answer.
// Dials again while the session refuses (a torrent that is still being checked turns peers
// away); throws std::runtime_error when no answer came within the timeout.
PeerGreeting GreetSession(const std::string& fromAddress, const std::string& toAddress,
                          uint16_t port, const std::string& infoHash, std::chrono::seconds timeout);

}  // namespace swarm_test
