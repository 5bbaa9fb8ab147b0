#pragma once

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Another JACK client with a MIDI output port "out" and a MIDI input port
// "in", standing for a keyboard or a synthesizer on the other side of JACK.
// Its name is the same for every peer of one test process, so a peer made
// after another has gone comes back under the same port names.
class JackPeer {
public:
    JackPeer();
    ~JackPeer();
    JackPeer(const JackPeer&) = delete;
    JackPeer& operator=(const JackPeer&) = delete;

    bool isOpen() const { return client_ != nullptr; }
    const std::string& name() const { return name_; }
    // For ports a test registers and unregisters itself; the peer's process
    // callback does not use them.
    jack_client_t* client() const { return client_; }

    // Registers another MIDI output port while the client runs.
    bool addOutput(const std::string& shortName);
    // Waits until output port `index` is connected and two more process
    // cycles have passed, so that the connection carries what is sent next.
    bool waitUntilConnected(int index = 0);
    // Queues one event on output port `index` (0 is "out").
    void send(const std::vector<uint8_t>& bytes, int index = 0);
    // Waits until `count` events have arrived at "in" (or the time is up) and returns them.
    std::vector<std::vector<uint8_t>> received(size_t count, std::chrono::seconds patience = std::chrono::seconds(5));

private:
    static int process(jack_nframes_t nframes, void* arg);

    std::string name_;
    jack_client_t* client_ = nullptr;
    jack_port_t* input_ = nullptr;
    static constexpr int kMaxOutputs = 4;
    jack_port_t* outputs_[kMaxOutputs] = {};
    int outputCount_ = 0;
    jack_ringbuffer_t* toSend_ = nullptr;    // [index, length, bytes...]
    jack_ringbuffer_t* arrived_ = nullptr;   // [length, bytes...]
    std::vector<std::vector<uint8_t>> collected_;
    uint64_t cycles_ = 0;  // atomic builtins: written by the process thread
};

// True when a JACK server can be reached; otherwise the caller fails (in CI)
// or skips.
bool jackServerRunning();
