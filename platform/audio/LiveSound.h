#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Sound from outside the composition, read by a patch a frame at a time:
// interleaved stereo float at the source's rate.
class LiveSoundSource {
public:
    virtual ~LiveSoundSource() = default;
    virtual double sampleRate() const = 0;
    // Appends what came since the last call; returns the frames appended.
    virtual size_t read(std::vector<float>& stereo) = 0;
    // Connects what appeared since the last call; returns how many ports feed us.
    virtual size_t connectNewPorts() = 0;
};

// Where live sound comes from. Normally JACK capture ports; while a show is
// captured, what each patch read is also handed to the recorder, frame by
// frame; while a take is replayed, each patch reads what it read in the show.
// Both are set and cleared on the frame thread, between frames.
namespace LiveSound {

class Recorder {
public:
    virtual ~Recorder() = default;
    // `patch` (its identifier) opened a source of `sampleRate` frames a second.
    virtual void opened(const std::string& patch, double sampleRate) = 0;
    virtual void heard(const std::string& patch, const float* stereo, size_t frames) = 0;
};

class Player {
public:
    virtual ~Player() = default;
    // The sound `patch` heard in the show from now on; null, with `error`
    // saying why, where the show had none open at this point.
    virtual std::unique_ptr<LiveSoundSource> open(const std::string& patch, std::string* error) = 0;
};

void setRecorder(Recorder* recorder);
void setPlayer(Player* player);

// JACK's output ports whose full names match `pattern`, for the patch
// `patch`; or the take's sound for it during a replay. Null with `error`.
std::unique_ptr<LiveSoundSource> open(const std::string& patch, const std::string& pattern, std::string* error);

}  // namespace LiveSound
