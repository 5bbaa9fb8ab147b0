#pragma once

#include "platform/osc/OSCMessage.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// Where a server leaves the messages for one listener: the latest message
// only (the last value wins) and how many came. The server's thread posts,
// the evaluation thread takes; neither waits for the other.
class OSCMailbox {
public:
    explicit OSCMailbox(std::string pattern) : pattern_(std::move(pattern)) {}
    ~OSCMailbox() { delete slot_.load(); }
    OSCMailbox(const OSCMailbox&) = delete;
    OSCMailbox& operator=(const OSCMailbox&) = delete;

    // The address pattern listened to ("/fader", "/1/*").
    const std::string& pattern() const { return pattern_; }

    // Server thread.
    void post(std::unique_ptr<OSCMessage> message) {
        delete slot_.exchange(message.release(), std::memory_order_acq_rel);
        posted_.fetch_add(1, std::memory_order_relaxed);
    }

    // Evaluation thread: the latest message since the last take, or null.
    std::unique_ptr<OSCMessage> take() {
        return std::unique_ptr<OSCMessage>(slot_.exchange(nullptr, std::memory_order_acq_rel));
    }
    // Every message posted so far.
    uint64_t posted() const { return posted_.load(std::memory_order_relaxed); }

private:
    std::string pattern_;
    std::atomic<OSCMessage*> slot_{nullptr};
    std::atomic<uint64_t> posted_{0};
};
