#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Pictures and sound into a video file, the container chosen by the file's
// extension: .mp4 and .mov hold H.264 (yuv420p) with AAC sound, .mkv holds
// FFV1 keeping every RGBA byte with FLAC sound. Sound is stereo float; the
// lossless track keeps it rounded to 24 bits.
//
// The file is made new in the folder of PATH (never opened through a name
// that exists) and takes PATH's place only when finish() succeeds, so a
// failed or abandoned recording never leaves a file behind, nor one that
// looks complete. Every call runs on the caller's thread; one writer is used
// by one thread at a time.
class VideoFileWriter {
public:
    static constexpr int kDefaultQuality = 20;

    struct Settings {
        std::string path;
        int width = 0, height = 0;  // H.264 wants even sizes: an odd one is padded by repeating the edge
        double fps = 60;            // fractional rates (29.97) become exact rationals
        int sampleRate = 0;         // 0: no audio track
        int quality = kDefaultQuality;  // H.264's constant rate factor: 0 (lossless) to 51, lower is better
        // Pictures come with the time they were shown (writeVideoAt), at
        // whatever spacing, and the sound is kept whole; `fps` is then only
        // the rate the encoder expects. Otherwise pictures are frames of a
        // fixed rate (writeVideo).
        bool live = false;
    };

    // Whether the extension of `path` names a container this writer makes;
    // otherwise `error` is one line naming the ones it makes.
    static bool checkExtension(const std::string& path, std::string* error);
    // Whether `path` may be replaced by a recording: it does not exist or is
    // a regular file (or a link to one), not a folder, FIFO or device.
    static bool checkTarget(const std::string& path, std::string* error);
    // Whether a recording can be made in the folder of `path` (which must
    // exist); leaves nothing there.
    static bool checkWritable(const std::string& path, std::string* error);
    // Nothing, with `error` set (one line naming the file), when the file or
    // an encoder cannot be opened.
    static std::unique_ptr<VideoFileWriter> open(const Settings& settings, std::string* error);
    // Without a successful finish(), removes what was written.
    ~VideoFileWriter();
    VideoFileWriter(const VideoFileWriter&) = delete;
    VideoFileWriter& operator=(const VideoFileWriter&) = delete;

    struct Picture {
        const uint8_t* rgba = nullptr;  // top row first
        int width = 0, height = 0;
        // 0: width × 4. A bottom-up picture is passed as its last row with a
        // negative count.
        std::ptrdiff_t rowBytes = 0;
    };
    // The picture of frame `index`, whose time is index / fps. Numbers must
    // grow; one skipped leaves the picture before it on screen longer. A
    // picture of another size than the recording's is scaled to fit, its
    // shape kept, between black bars.
    bool writeVideo(long index, const Picture& picture, std::string* error);
    // A live recording's picture, shown `seconds` after the recording's
    // start; it lasts until the next one. Times must grow; a picture within
    // the file's time step of the one before is left out. The first picture
    // is put at 0, so the file starts with a picture.
    bool writeVideoAt(double seconds, const Picture& picture, std::string* error);
    // The next `frames` frames of interleaved stereo sound, from time 0 on
    // (ignored without an audio track). With frames of a fixed rate, sound
    // is encoded only as far as the pictures reach, and finish() cuts or
    // pads it to the pictures' length; live, all of it is kept, and the
    // last picture stays on until the sound ends.
    bool writeAudio(const float* stereo, size_t frames, std::string* error);
    // Flushes both encoders, writes the trailer and gives the file its name.
    // After any failure, every call returns false with the first error.
    bool finish(std::string* error);

    // Pictures written so far.
    long framesWritten() const;
    // Bytes in the file so far.
    int64_t bytesWritten() const;
    bool hasAudio() const;
    const std::string& path() const;

    struct Impl;

private:
    explicit VideoFileWriter(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
