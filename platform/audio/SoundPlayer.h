#pragma once

#include "platform/audio/CoreAudio.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

// Plays decoded sound (interleaved float stereo at the output device's rate)
// on the default output device, following a position the frame loop sets:
// a movie's sound kept with its pictures, a song with composition time.
//
// The frame loop calls follow() each frame with where the sound should be;
// the IO thread plays on from where it is and jumps only when the two have
// drifted apart by more than the tolerance, so steady play has no clicks.
// The IO side reads atomics and the sound it was given; the sound is only
// replaced while the proc is stopped.
class SoundPlayer {
public:
    // A player registered with the default output device, or null with
    // `error` set when there is no output device.
    static std::unique_ptr<SoundPlayer> create(std::string* error);
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    double sampleRate() const { return sampleRate_; }
    // The sound to play from now on; null plays silence.
    void setSound(std::shared_ptr<const std::vector<float>> stereo);
    // Where the sound should be now (in seconds), how fast it moves
    // (1 forward, -1 backward, 0 paused: silence) and its gain.
    void follow(double seconds, double rate, double volume);
    // Where the IO thread has got to, in seconds of the sound.
    double position() const;
    // Jumps made to catch up with follow() (for tests).
    uint64_t jumps() const { return jumps_.load(std::memory_order_relaxed); }

private:
    SoundPlayer() = default;
    static OSStatus ioProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                           AudioBufferList* output, const AudioTimeStamp*, void* client);
    void render(float* out, uint32_t frames);

    AudioDeviceID device_ = kAudioDeviceUnknown;
    double sampleRate_ = 0;
    double tolerance_ = 0;  // frames
    std::shared_ptr<const std::vector<float>> sound_;  // read by the IO thread while started

    std::atomic<double> target_{0};      // frames
    std::atomic<uint64_t> targetSerial_{0};
    uint64_t seenSerial_ = 0;            // IO thread
    double cursor_ = 0;                  // IO thread, frames
    std::atomic<double> published_{0};   // cursor_ for the frame loop
    std::atomic<double> rate_{0};
    std::atomic<float> volume_{1};
    std::atomic<uint64_t> jumps_{0};
    bool started_ = false;
};
