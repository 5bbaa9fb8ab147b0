#pragma once

#include "AudioDevice.h"

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

// The JACK server as an output device: two output ports connected to the
// server's playback ports. IO procs get interleaved float stereo at the
// server's rate, one JACK period per cycle, split per port afterwards.
// While someone listens, the IO thread also copies each mixed period into a
// ring that collectPlayed() empties on the listeners' thread; sound the ring
// had no room for comes out as silence of the same length, so what follows
// keeps its time.
class JACKAudioDevice : public AudioDevice {
public:
    // A client on the running server, or nothing (with one log line saying
    // why) when no server runs.
    static std::shared_ptr<JACKAudioDevice> open();
    ~JACKAudioDevice() override;

    uint32_t bufferSize() const override;
    AudioStreamBasicDescription streamFormat() const override;

    // Full names of the two output ports ("client:out_1", "client:out_2").
    std::string portName(int channel) const;

    void collectPlayed() override;

protected:
    void listening(bool anyone) override;

private:
    JACKAudioDevice() = default;
    static int process(jack_nframes_t frames, void* arg);
    static int bufferSizeChanged(jack_nframes_t frames, void* arg);

    jack_client_t* client_ = nullptr;
    jack_port_t* ports_[2] = {nullptr, nullptr};
    std::atomic<uint32_t> period_{0};
    double sampleRate_ = 0;
    uint64_t framesDone_ = 0;  // IO thread only
    std::vector<float> interleaved_;  // kMixFrames stereo frames

    // Seconds of sound the ring holds for a listener thread that falls behind.
    static constexpr double kRingSeconds = 4.0;
    jack_ringbuffer_t* ring_ = nullptr;  // made at the first listener, kept until the end
    std::atomic<bool> tapping_{false};
    std::atomic<uint64_t> lost_{0};  // frames the ring had no room for
    std::vector<float> collected_;   // the listeners' thread's
};
