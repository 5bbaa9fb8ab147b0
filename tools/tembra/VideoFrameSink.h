#pragma once

#include "FrameSink.h"
#include "RecordingQueue.h"
#include "platform/audio/AudioDevice.h"
#include "platform/media/VideoFileWriter.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// --record: every frame into a video file, with the sound the audio output
// plays (the very blocks a WAV output writes, or JACK plays). The file gets an audio
// track when sound plays by the end of the first frame, which is when a
// sound patch that has its image starts its oscillator; sound that begins
// later is not recorded, and warning() says so.
//
// `run` encodes on the frame loop's thread and drops nothing; each frame
// lasts 1/fps. `play` records live: encoding runs on a thread of its own,
// and a picture that finds the queue full is dropped rather than hold up
// the window. Each picture is put at the moment of the show it was drawn
// (the clock the sound follows too), so the file lasts as long as the show
// and a dropped picture leaves the one before it on longer; a pause stays
// in the file as the still picture the window held.
class VideoFrameSink : public FrameSink {
public:
    // Throws UsageError when the extension names no container we make, and
    // std::runtime_error when `path` is something a file cannot replace (a
    // folder, a FIFO, a device).
    static void checkPath(const std::string& path);

    // Creates the file's folder and makes sure a file can be made there
    // (std::runtime_error naming it); the file itself is opened at the first
    // frame. `sound` may be null: no audio track.
    VideoFrameSink(const std::string& path, int width, int height, double fps, int quality,
                   std::shared_ptr<AudioDevice> sound, bool live = false);
    ~VideoFrameSink() override;

    void write(const RenderedFrame& frame) override;
    void finish() override;

    // For the progress bar: "120 frames, 3.4 MB".
    std::string status() const;
    // "recorded 118 frames, dropped 2"
    std::string summary() const;
    // One line to show after the run, or empty.
    std::string warning() const;

private:
    // On the encoding thread.
    void encodePicture(long index, double seconds, const VideoFileWriter::Picture& picture, bool withSound);
    void encodeSound(const float* stereo, size_t frames);
    void openWriter(bool withSound);
    void encodeQueued();
    void throwIfFailed();

    VideoFileWriter::Settings settings_;
    std::shared_ptr<AudioDevice> sound_;
    int listener_ = 0;
    bool soundDecided_ = false, withSound_ = false, lateSound_ = false;
    long dropped_ = 0;
    bool finished_ = false;

    // The encoding thread's own.
    std::unique_ptr<VideoFileWriter> writer_;
    std::vector<float> early_;  // sound mixed before the first frame opened the file

    std::atomic<long> encoded_{0};
    std::atomic<int64_t> bytes_{0};
    std::mutex mutex_;
    std::string failure_;  // the encoder thread's error, guarded by mutex_

    std::unique_ptr<RecordingQueue> queue_;
    std::thread encoder_;
};
