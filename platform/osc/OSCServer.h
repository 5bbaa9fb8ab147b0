#pragma once

#include "platform/osc/OSCMailbox.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A UDP socket for OSC on one address and port, read on a thread of its
// own, that hands each well-formed message to the mailboxes whose pattern
// matches its address. What is not OSC, too big, of a type the patches
// cannot use, or beyond kMaxPacketsPerSecond is dropped and counted.
//
// It binds the address it is given (127.0.0.1: this machine only; 0.0.0.0:
// every network the machine is on), without SO_REUSEADDR, so a port that
// another program holds is an error, not a socket that shares its traffic.
class OSCServer {
public:
    // Bigger datagrams are dropped as huge.
    static constexpr size_t kMaxPacketBytes = 16 * 1024;
    // Past this many packets in one second, the rest of the second is dropped.
    static constexpr uint64_t kMaxPacketsPerSecond = 400000;

    struct Counts {
        uint64_t packets = 0;    // datagrams read
        uint64_t messages = 0;   // well-formed messages
        uint64_t delivered = 0;  // posted to a mailbox (once per mailbox)
        uint64_t malformed = 0, wrongType = 0, huge = 0, flood = 0;
        uint64_t dropped() const { return malformed + wrongType + huge + flood; }
    };

    // `host` is a numeric address ("127.0.0.1", "0.0.0.0", "::1"), or empty
    // for 127.0.0.1. Null, with `error` naming the address and the cause,
    // when the socket cannot be had.
    static std::unique_ptr<OSCServer> open(const std::string& host, uint16_t port, std::string* error);
    ~OSCServer();
    OSCServer(const OSCServer&) = delete;
    OSCServer& operator=(const OSCServer&) = delete;

    const std::string& host() const { return host_; }
    uint16_t port() const { return port_; }
    // "127.0.0.1:9000"
    std::string name() const;

    // The mailbox receives from now on until it is gone.
    void subscribe(const std::shared_ptr<OSCMailbox>& mailbox);
    Counts counts() const;
    // At most once a second, when something was dropped since the last
    // report: one line saying what; otherwise empty.
    std::string takeDropReport();

    // Holding (a captured show): while on, the messages of every server wait
    // until releaseHeld() hands them to the mailboxes on the caller's thread,
    // so that the caller chooses the frame they reach and can write them down.
    static void setHolding(bool hold);
    using HeldObserver = std::function<void(uint16_t port, const OSCMessage& message)>;
    // Observes, then delivers, every held message in arrival order; returns
    // how many there were.
    static size_t releaseHeld(const HeldObserver& observe);
    // Drops what is held (a replay holds what comes in live, and drops it).
    static void discardHeld();
    // Hands `message` to the matching mailboxes now, as if it had come in (a replay).
    void inject(OSCMessage message) { deliver(std::move(message)); }

private:
    OSCServer(int socket, int wake, std::string host, uint16_t port);
    void run();
    // One datagram: over the rate, too big, or parsed and dispatched.
    void handle(const uint8_t* data, size_t length, bool truncated, bool overRate);
    // Held or delivered.
    void dispatch(OSCMessage&& message);
    void deliver(OSCMessage&& message);

    int socket_, wake_;
    std::string host_;
    uint16_t port_;
    std::mutex mailboxesMutex_;  // held by the server thread for one packet at most
    std::vector<std::weak_ptr<OSCMailbox>> mailboxes_;
    std::atomic<uint64_t> packets_{0}, messages_{0}, delivered_{0};
    std::atomic<uint64_t> malformed_{0}, wrongType_{0}, huge_{0}, flood_{0};
    std::mutex reportMutex_;
    Counts reported_;
    std::chrono::steady_clock::time_point lastReport_{};
    std::thread thread_;
};
