#pragma once

#include "FrameSink.h"
#include "platform/audio/OfflineAudioDevice.h"
#include "platform/media/VideoFileWriter.h"

#include <memory>
#include <string>
#include <vector>

// --record: every frame into a video file, with the sound the offline audio
// device mixes (the very blocks a WAV output writes). The file gets an audio
// track when sound plays by the end of the first frame, which is when a
// sound patch that has its image starts its oscillator; sound that begins
// later is not recorded, and warning() says so.
class VideoFrameSink : public FrameSink {
public:
    // Throws UsageError when the extension names no container we make.
    static void checkPath(const std::string& path);

    // Creates the file's folder and makes sure the file can be written
    // (std::runtime_error naming it); the file itself is opened at the first
    // frame. `sound` may be null: no audio track.
    VideoFrameSink(const std::string& path, int width, int height, double fps, int quality,
                   std::shared_ptr<OfflineAudioDevice> sound);
    ~VideoFrameSink() override;

    void write(const RenderedFrame& frame) override;
    void finish() override;

    // For the progress bar: "120 frames, 3.4 MB".
    std::string status() const;
    // One line to show after the run, or empty.
    const std::string& warning() const { return warning_; }

private:
    void open(bool withSound);
    void hear(const float* stereo, uint32_t frames);

    VideoFileWriter::Settings settings_;
    std::shared_ptr<OfflineAudioDevice> sound_;
    int listener_ = 0;
    std::unique_ptr<VideoFileWriter> writer_;
    std::vector<float> early_;  // sound mixed before the first frame opened the file
    std::string warning_;
    bool finished_ = false;
};
