#pragma once

#include "AudioDevice.h"

#include <sndfile.h>

#include <memory>
#include <string>
#include <vector>

// An output device that writes what it plays to a WAV file (32-bit float,
// stereo). It has no clock of its own: whoever drives it says how far time
// has gone with advanceTo, and it plays exactly that many frames, so a run
// of N seconds leaves N seconds of sound in the file.
class WAVFileAudioDevice : public AudioDevice {
public:
    static constexpr double kSampleRate = 44100.0;
    static constexpr uint32_t kPeriodFrames = 512;
    // The most frames a WAV file of float stereo can hold: its sizes are
    // 32-bit byte counts.
    static constexpr uint64_t kMaxFrames = (uint64_t{UINT32_MAX} - 4096) / 8;

    // Nothing, with `error` set, when the file cannot be created.
    static std::shared_ptr<WAVFileAudioDevice> create(const std::string& path, std::string* error);
    ~WAVFileAudioDevice() override;

    uint32_t bufferSize() const override { return kPeriodFrames * 2 * static_cast<uint32_t>(sizeof(float)); }
    AudioStreamBasicDescription streamFormat() const override;

    // Plays IO cycles until `seconds` of sound have been written (at most
    // kMaxFrames); earlier times, and times that are not finite, do nothing.
    // The last cycle is cut short to land on the time. A failed write closes
    // the file.
    void advanceTo(double seconds);
    // Writes the file's header and closes it; later advances do nothing.
    void close();

    uint64_t framesWritten() const { return framesWritten_; }
    const std::string& path() const { return path_; }

private:
    WAVFileAudioDevice() = default;

    std::string path_;
    SNDFILE* file_ = nullptr;
    uint64_t framesWritten_ = 0;
    std::vector<float> buffer_;
};
