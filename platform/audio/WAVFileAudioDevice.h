#pragma once

#include "platform/audio/OfflineAudioDevice.h"

#include <sndfile.h>

#include <memory>
#include <string>

// An offline device that also writes what it plays to a WAV file (32-bit
// float, stereo), so a run of N seconds leaves N seconds of sound in the
// file. Listeners get the same blocks.
class WAVFileAudioDevice : public OfflineAudioDevice {
public:
    // The most frames a WAV file of float stereo can hold: its sizes are
    // 32-bit byte counts.
    static constexpr uint64_t kMaxFrames = (uint64_t{UINT32_MAX} - 4096) / 8;

    // Nothing, with `error` set, when the file cannot be created.
    static std::shared_ptr<WAVFileAudioDevice> create(const std::string& path, std::string* error);
    ~WAVFileAudioDevice() override;

    // Writes the file's header and closes it; later blocks are not written.
    // A failed write (a full disk) closes the file too, and so does reaching
    // kMaxFrames.
    void close() override;

    uint64_t framesWritten() const { return framesWritten_; }
    const std::string& path() const { return path_; }

protected:
    void play(const float* stereo, uint32_t frames) override;

private:
    WAVFileAudioDevice() = default;

    std::string path_;
    SNDFILE* file_ = nullptr;
    uint64_t framesWritten_ = 0;
};
