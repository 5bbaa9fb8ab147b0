#pragma once

#include "platform/audio/AudioDevice.h"

#include <cstdint>
#include <memory>
#include <vector>

// An output device with no clock of its own: whoever drives it says how far
// time has gone with advanceTo, and it mixes exactly that many frames of
// float stereo at 44.1 kHz, a period at a time. Each mixed block goes to the
// listeners (a video recording) as it is played, on the thread that calls
// advanceTo.
class OfflineAudioDevice : public AudioDevice {
public:
    static constexpr double kSampleRate = 44100.0;
    static constexpr uint32_t kPeriodFrames = 512;
    // Keeps the frame count of any finite time representable.
    static constexpr uint64_t kFrameLimit = uint64_t{1} << 48;

    static std::shared_ptr<OfflineAudioDevice> create();

    uint32_t bufferSize() const override { return kPeriodFrames * 2 * static_cast<uint32_t>(sizeof(float)); }
    AudioStreamBasicDescription streamFormat() const override;

    // Plays IO cycles until `seconds` of sound have been played; earlier
    // times, and times that are not finite, do nothing. The last cycle is cut
    // short to land on the time. A listener that throws stops the advance
    // after its block, which counts as played.
    void advanceTo(double seconds);
    uint64_t framesPlayed() const { return framesPlayed_; }
    // Ends what the device itself keeps (a file); listeners go on hearing.
    virtual void close() {}

protected:
    OfflineAudioDevice() = default;
    // Each block, before the listeners have it.
    virtual void play(const float* /*stereo*/, uint32_t /*frames*/) {}

private:
    uint64_t framesPlayed_ = 0;
    std::vector<float> buffer_ = std::vector<float>(size_t{kPeriodFrames} * 2);
};
