#include "tests/platform/osc/OSCTestPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace OSCTest {

namespace {

void padded(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    do out.push_back(0);
    while (out.size() % 4 != 0);
}

void bigEndian(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

std::vector<uint8_t> message(const std::string& address, float value) {
    std::vector<uint8_t> out;
    padded(out, address);
    padded(out, ",f");
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bigEndian(out, bits);
    return out;
}

std::vector<uint8_t> message(const std::string& address, const std::string& text) {
    std::vector<uint8_t> out;
    padded(out, address);
    padded(out, ",s");
    padded(out, text);
    return out;
}

std::vector<uint8_t> message(const std::string& address, int32_t a, const std::string& b) {
    std::vector<uint8_t> out;
    padded(out, address);
    padded(out, ",is");
    bigEndian(out, static_cast<uint32_t>(a));
    padded(out, b);
    return out;
}

std::vector<uint8_t> bundle(const std::vector<std::vector<uint8_t>>& elements) {
    std::vector<uint8_t> out;
    padded(out, "#bundle");
    bigEndian(out, 0);
    bigEndian(out, 1);  // "immediately"
    for (const auto& e : elements) {
        bigEndian(out, static_cast<uint32_t>(e.size()));
        out.insert(out.end(), e.begin(), e.end());
    }
    return out;
}

Peer::Peer(uint16_t port) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(port);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        return;
    }
    socklen_t length = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
}

Peer::~Peer() {
    if (fd_ >= 0) close(fd_);
}

void Peer::sendTo(uint16_t port, const std::vector<uint8_t>& bytes) const {
    const sockaddr_in a = loopback(port);
    sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
}

std::vector<uint8_t> Peer::receive(int milliseconds) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, milliseconds) <= 0) return {};
    std::vector<uint8_t> bytes(65536);
    const ssize_t n = recv(fd_, bytes.data(), bytes.size(), 0);
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

uint16_t freePort() {
    const Peer probe;
    return probe.port();
}

}  // namespace OSCTest
