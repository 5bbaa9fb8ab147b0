#pragma once

#include "platform/audio/LiveSound.h"

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <regex>
#include <string>
#include <vector>

// Sound from JACK capture ports, chosen by a regular expression on their
// full names ("system:capture_1"), for measuring: a client of our own with
// two input ports. Matched ports are connected in name order, odd ones to the
// left input and even ones to the right; a single match feeds both. Ports
// that appear later are connected on the next connectNewPorts().
//
// The JACK thread copies each period, interleaved, into a lock-free ring and
// does nothing else: no allocation, no lock, no log. The reading side
// (read, connectNewPorts) is one thread, the frame loop's.
class JACKCapture : public LiveSoundSource {
public:
    // A client on the running server, or null with `error` naming the pattern
    // or the server's refusal.
    static std::unique_ptr<JACKCapture> open(const std::string& pattern, std::string* error);
    ~JACKCapture() override;
    JACKCapture(const JACKCapture&) = delete;
    JACKCapture& operator=(const JACKCapture&) = delete;

    double sampleRate() const override { return sampleRate_; }
    uint32_t period() const { return period_.load(std::memory_order_relaxed); }

    // Appends to `stereo` what was captured since the last call; returns the
    // frames appended. Frames the ring had no room for are counted, not kept.
    size_t read(std::vector<float>& stereo) override;
    uint64_t framesLost() const { return lost_.load(std::memory_order_relaxed); }

    // Connects matching ports not yet connected, when ports came since the
    // last call (or on the first call). Returns how many ports feed us.
    size_t connectNewPorts() override;
    // Full names of our two input ports.
    std::string portName(int channel) const;

private:
    JACKCapture() = default;
    static int process(jack_nframes_t frames, void* arg);
    static void portRegistered(jack_port_id_t port, int registered, void* arg);
    static int bufferSizeChanged(jack_nframes_t frames, void* arg);

    static constexpr double kRingSeconds = 2.0;
    static constexpr uint32_t kMaxPeriod = 8192;

    jack_client_t* client_ = nullptr;
    jack_port_t* ports_[2] = {nullptr, nullptr};
    std::regex pattern_;
    double sampleRate_ = 0;
    std::atomic<uint32_t> period_{0};
    jack_ringbuffer_t* ring_ = nullptr;
    std::vector<float> interleaved_;  // the JACK thread's, kMaxPeriod frames
    std::atomic<uint64_t> lost_{0};
    std::atomic<bool> portsChanged_{true};
    size_t connected_ = 0;
};
