#pragma once

#include "AudioDevice.h"

#include <atomic>
#include <memory>
#include <vector>

// A device for tests: its format and buffer size are whatever the test sets,
// and its IO cycles run when the test pulls them, on the test's thread.
class TestAudioDevice : public AudioDevice {
public:
    // Float stereo, 512 frames per cycle, 44.1 kHz.
    TestAudioDevice();
    static std::shared_ptr<TestAudioDevice> create() { return std::make_shared<TestAudioDevice>(); }

    uint32_t bufferSize() const override { return bufferSize_; }
    AudioStreamBasicDescription streamFormat() const override { return format_; }
    void setBufferSize(uint32_t bytes) { bufferSize_ = bytes; }
    void setStreamFormat(const AudioStreamBasicDescription& format) { format_ = format; }

    // One cycle into a fresh buffer of bufferSize() bytes, zero-filled.
    std::vector<float> pullCycle();
    // One cycle into the caller's buffer list, as it is.
    void pullCycle(AudioBufferList* output);

private:
    std::atomic<uint32_t> bufferSize_;
    AudioStreamBasicDescription format_;
    double sampleTime_ = 0;
};
