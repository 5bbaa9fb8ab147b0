#include "platform/osc/OSCServer.h"

#include "platform/osc/OSCPacket.h"

#include <lo/lo.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Messages held for a captured show, of every server; a server that goes
// drops its own.
constexpr size_t kMaxHeld = 1 << 16;

struct Held {
    std::atomic<bool> holding{false};
    std::mutex mutex;
    std::vector<std::pair<OSCServer*, OSCMessage>> messages;
};
Held& held() {
    static Held h;
    return h;
}

}  // namespace

namespace {

constexpr unsigned kBatch = 32;
// Room in the kernel for bursts while the thread is not scheduled.
constexpr int kReceiveBuffer = 4 * 1024 * 1024;

}  // namespace

std::unique_ptr<OSCServer> OSCServer::open(const std::string& givenHost, uint16_t port, std::string* error) {
    const std::string host = givenHost.empty() ? "127.0.0.1" : givenHost;
    // A host typed wrong may be long: the log line shows its start.
    const std::string shown = host.size() > 60 ? host.substr(0, 60) + "..." : host;
    const std::string where = shown + ":" + std::to_string(port);
    const auto fail = [&](const std::string& why) -> std::unique_ptr<OSCServer> {
        if (error) *error = "cannot listen for OSC on " + where + ": " + why;
        return nullptr;
    };
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    // Only numeric addresses: a name lookup could stall the show.
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
        return fail("\"" + shown + "\" is not a numeric IP address (such as 127.0.0.1 or 0.0.0.0)");
    const int fd = socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        freeaddrinfo(found);
        return fail(std::strerror(errno));
    }
    const int size = kReceiveBuffer;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    const int bound = bind(fd, found->ai_addr, found->ai_addrlen);
    const int bindError = errno;
    freeaddrinfo(found);
    if (bound != 0) {
        close(fd);
        return fail(std::strerror(bindError));
    }
    const int wake = eventfd(0, EFD_CLOEXEC);
    if (wake < 0) {
        close(fd);
        return fail(std::strerror(errno));
    }
    return std::unique_ptr<OSCServer>(new OSCServer(fd, wake, host, port));
}

OSCServer::OSCServer(int socket, int wake, std::string host, uint16_t port)
    : socket_(socket), wake_(wake), host_(std::move(host)), port_(port), lastReport_(std::chrono::steady_clock::now()) {
    thread_ = std::thread([this] { run(); });
}

OSCServer::~OSCServer() {
    const uint64_t one = 1;
    if (write(wake_, &one, sizeof one) < 0) {
        // An eventfd write fails only on overflow; the thread wakes anyway.
    }
    thread_.join();
    {
        Held& h = held();
        std::lock_guard lock(h.mutex);
        std::erase_if(h.messages, [this](const auto& m) { return m.first == this; });
    }
    close(wake_);
    close(socket_);
}

std::string OSCServer::name() const {
    return (host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
}

void OSCServer::subscribe(const std::shared_ptr<OSCMailbox>& mailbox) {
    std::lock_guard lock(mailboxesMutex_);
    mailboxes_.push_back(mailbox);
}

OSCServer::Counts OSCServer::counts() const {
    Counts c;
    c.packets = packets_.load(std::memory_order_acquire);
    c.messages = messages_.load(std::memory_order_relaxed);
    c.delivered = delivered_.load(std::memory_order_relaxed);
    c.malformed = malformed_.load(std::memory_order_relaxed);
    c.wrongType = wrongType_.load(std::memory_order_relaxed);
    c.huge = huge_.load(std::memory_order_relaxed);
    c.flood = flood_.load(std::memory_order_relaxed);
    return c;
}

std::string OSCServer::takeDropReport() {
    std::lock_guard lock(reportMutex_);
    const auto now = std::chrono::steady_clock::now();
    if (now - lastReport_ < std::chrono::seconds(1)) return {};
    const Counts c = counts();
    if (c.dropped() == reported_.dropped()) return {};
    std::string line = "OSC " + name() + ": dropped";
    const auto part = [&](uint64_t now, uint64_t before, const char* what) {
        if (now == before) return;
        if (line.back() != 'd') line += ",";
        line += " " + std::to_string(now - before) + " " + what;
    };
    part(c.malformed, reported_.malformed, "malformed");
    part(c.wrongType, reported_.wrongType, "of a type not used");
    part(c.huge, reported_.huge, "too big");
    part(c.flood, reported_.flood, "beyond the rate limit");
    line += " (packets since the last report)";
    reported_ = c;
    lastReport_ = now;
    return line;
}

void OSCServer::setHolding(bool hold) { held().holding.store(hold); }

size_t OSCServer::releaseHeld(const HeldObserver& observe) {
    Held& h = held();
    std::lock_guard lock(h.mutex);
    std::vector<std::pair<OSCServer*, OSCMessage>> messages = std::move(h.messages);
    h.messages.clear();
    for (auto& [server, message] : messages) {
        if (observe) observe(server->port(), message);
        server->deliver(std::move(message));
    }
    return messages.size();
}

void OSCServer::discardHeld() {
    Held& h = held();
    std::lock_guard lock(h.mutex);
    h.messages.clear();
}

void OSCServer::dispatch(OSCMessage&& message) {
    messages_.fetch_add(1, std::memory_order_relaxed);
    Held& h = held();
    if (h.holding.load()) {
        std::lock_guard lock(h.mutex);
        // Frames that stall do not grow the queue without end.
        if (h.messages.size() >= kMaxHeld) flood_.fetch_add(1, std::memory_order_relaxed);
        else h.messages.emplace_back(this, std::move(message));
        return;
    }
    deliver(std::move(message));
}

void OSCServer::deliver(OSCMessage&& message) {
    std::lock_guard lock(mailboxesMutex_);
    std::shared_ptr<OSCMailbox> matched[8];
    size_t count = 0;
    bool expired = false;
    const auto post = [&](std::shared_ptr<OSCMailbox>& box, bool last) {
        box->post(std::make_unique<OSCMessage>(last ? std::move(message) : message));
        delivered_.fetch_add(1, std::memory_order_relaxed);
    };
    for (const auto& weak : mailboxes_) {
        std::shared_ptr<OSCMailbox> box = weak.lock();
        if (!box) {
            expired = true;
            continue;
        }
        const std::string& pattern = box->pattern();
        if (pattern != message.address && !lo_pattern_match(message.address.c_str(), pattern.c_str())) continue;
        // Copies for all but the last listener; batches of eight keep this allocation-free.
        if (count == std::size(matched)) {
            for (auto& m : matched) post(m, false);
            count = 0;
        }
        matched[count++] = std::move(box);
    }
    for (size_t i = 0; i < count; ++i) post(matched[i], i + 1 == count);
    if (expired)
        std::erase_if(mailboxes_, [](const std::weak_ptr<OSCMailbox>& weak) { return weak.expired(); });
}

void OSCServer::handle(const uint8_t* data, size_t length, bool truncated, bool overRate) {
    if (overRate) {
        flood_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (truncated || length > kMaxPacketBytes) {
        huge_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const OSCPacketFaults faults = parseOSCPacket(data, length, [this](OSCMessage&& m) { dispatch(std::move(m)); });
    if (faults.malformed) malformed_.fetch_add(faults.malformed, std::memory_order_relaxed);
    if (faults.wrongType) wrongType_.fetch_add(faults.wrongType, std::memory_order_relaxed);
}

void OSCServer::run() {
    // One byte more than allowed, so that a datagram over the limit shows.
    std::vector<uint8_t> buffers(kBatch * (kMaxPacketBytes + 1));
    iovec vectors[kBatch];
    mmsghdr headers[kBatch];
    auto windowStart = std::chrono::steady_clock::now();
    uint64_t inWindow = 0;
    for (;;) {
        pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        for (unsigned i = 0; i < kBatch; ++i) {
            vectors[i] = {buffers.data() + i * (kMaxPacketBytes + 1), kMaxPacketBytes + 1};
            headers[i] = {};
            headers[i].msg_hdr.msg_iov = &vectors[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        const int received = recvmmsg(socket_, headers, kBatch, MSG_DONTWAIT, nullptr);
        if (received <= 0) continue;
        const auto now = std::chrono::steady_clock::now();
        if (now - windowStart >= std::chrono::seconds(1)) {
            windowStart = now;
            inWindow = 0;
        }
        for (int i = 0; i < received; ++i) {
            handle(static_cast<const uint8_t*>(vectors[i].iov_base), headers[i].msg_len,
                   (headers[i].msg_hdr.msg_flags & MSG_TRUNC) != 0, ++inWindow > kMaxPacketsPerSecond);
            // Counted once handled, so that whoever sees the count sees what the packet did.
            packets_.fetch_add(1, std::memory_order_release);
        }
    }
}
