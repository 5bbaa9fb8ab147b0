#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

// What the frame loop hands a recording's encoder thread, in order:
// pictures, at most a set number waiting (a full queue refuses one, so the
// loop never waits), and sound, always taken (it is small, and a gap in it
// would be heard).
class RecordingQueue {
public:
    struct Item {
        enum class Kind { Picture, Sound } kind = Kind::Picture;
        long index = 0;
        double seconds = 0;           // when the picture was shown
        int width = 0, height = 0;
        bool withSound = false;       // the first picture: whether the file gets an audio track
        std::vector<uint8_t> rgba;    // Picture
        std::vector<float> stereo;    // Sound
    };

    explicit RecordingQueue(size_t maxPictures) : maxPictures_(maxPictures) {}

    // False, taking nothing, when `maxPictures` pictures are waiting.
    bool pushPicture(long index, double seconds, int width, int height, bool withSound,
                     std::span<const uint8_t> rgba);
    void pushSound(const float* stereo, size_t frames);
    // Nothing more comes; pop() returns what is left, then nothing.
    void close();

    // Waits for the next item; nothing once closed and empty.
    std::optional<Item> pop();
    // A popped picture's memory, for the next picture to reuse.
    void recycle(std::vector<uint8_t>&& rgba);

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Item> items_;
    std::vector<std::vector<uint8_t>> spare_;
    size_t maxPictures_;
    size_t pictures_ = 0;
    bool closed_ = false;
};
