#pragma once

#include <cstdint>
#include <string>
#include <vector>

// OSC bytes written by hand, so the tests do not read liblo's output with
// liblo, and a UDP socket on 127.0.0.1 to send and receive them.
namespace OSCTest {

std::vector<uint8_t> message(const std::string& address, float value);
std::vector<uint8_t> message(const std::string& address, const std::string& text);
std::vector<uint8_t> message(const std::string& address, int32_t a, const std::string& b);
std::vector<uint8_t> bundle(const std::vector<std::vector<uint8_t>>& elements);

class Peer {
public:
    // Bound to 127.0.0.1:`port` (0: any free port).
    explicit Peer(uint16_t port = 0);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    bool ok() const { return fd_ >= 0; }
    uint16_t port() const { return port_; }
    void sendTo(uint16_t port, const std::vector<uint8_t>& bytes) const;
    // The next datagram within `milliseconds`, or nothing.
    std::vector<uint8_t> receive(int milliseconds) const;

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// A UDP port that was free a moment ago.
uint16_t freePort();

}  // namespace OSCTest
