#pragma once

#include "platform/graphics/CoreGraphics.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct DecodedSound;

// Pictures of a movie file or a capture device, decoded on a thread of
// their own as RGBA images, opaque.
//
// A file is decoded ahead of the time the frame loop asks for: a few
// pictures wait in a queue, and asking for a time outside them seeks to the
// picture shown at that time exactly (from the keyframe before it). A
// device ("v4l2:/dev/video0", "lavfi:testsrc2") is read as fast as it
// delivers and only the newest picture is kept; when it fails the thread
// opens it again every second.
//
// The thread opens the source, so making a decoder never waits. Every
// public call comes from one thread, the frame loop's.
class MovieDecoder {
public:
    struct Options {
        bool device = false;     // newest picture, reopened when it fails
        double soundRate = 0;    // decode a file's sound too, at this rate (0: none)
        int width = 0, height = 0;  // asked of a device (0: its own)
        double rate = 0;            // frames per second asked of a device
    };
    MovieDecoder(std::string source, Options options);
    ~MovieDecoder();
    MovieDecoder(const MovieDecoder&) = delete;
    MovieDecoder& operator=(const MovieDecoder&) = delete;

    enum class State { Opening, Ready, Failed };
    State state() const { return state_.load(std::memory_order_acquire); }
    // Why opening or reading failed: one line naming the source; the
    // serial grows with every new failure, so a caller tells each once.
    std::string error(uint64_t* serial = nullptr) const;
    // Seconds of a file (0 for a device or when unknown), and its frame rate.
    double duration() const;
    double frameRate() const;
    // The file's sound, once decoded (null before, or when it has none).
    std::shared_ptr<const DecodedSound> sound() const;

    // The picture shown at `seconds` of a file, decoding towards it; with
    // `wait`, blocks (10 s at most) until it is decoded (and the sound too), otherwise gives
    // the nearest one ready (or null). A device gives its newest picture.
    CGImageRef pictureAt(double seconds, bool wait);
    // Pictures decoded so far (for tests and benchmarks).
    uint64_t picturesDecoded() const { return decoded_.load(std::memory_order_relaxed); }

private:
    struct Picture {
        double time;
        CGImageRef image;
    };
    struct Stream;

    void run();
    bool open(Stream& stream);
    void runFile(Stream& stream);
    void runDevice(Stream& stream);
    void fail(const std::string& why);

    const std::string source_;
    const Options options_;
    std::atomic<State> state_{State::Opening};
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> decoded_{0};

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string error_;
    uint64_t errorSerial_ = 0;
    double duration_ = 0, frameRate_ = 0;
    std::shared_ptr<const DecodedSound> sound_;
    std::deque<Picture> queue_;  // in time order
    bool ended_ = false;         // the file has no pictures after the queue's last
    double target_ = 0;          // the time the frame loop wants
    uint64_t targetSerial_ = 0;
    CGImageRef newest_;          // a device's
    bool haveFirst_ = false;
    bool soundFinished_ = false;
    double firstTime_ = 0;       // of the file's first picture

    std::thread thread_;
};
