#pragma once

#include "platform/audio/LiveSound.h"
#include "platform/media/LosslessSound.h"

#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

// The live sound a captured show's patches read, written into the take
// frame by frame: how many frames each patch read in each frame, and the
// sound itself compressed without loss, so that a replay hands every patch
// the very samples, in the very frames, it had live.
//
// Records: {"kind": "sound-open", "patch", "rate"} when a patch opens a
// source (a new stream of packets starts), and {"kind": "sound", "patch",
// "frames", "packets"} for a frame in which it read sound or packets were
// completed.
class CapturedSound : public LiveSound::Recorder {
public:
    CapturedSound();
    ~CapturedSound() override;
    CapturedSound(const CapturedSound&) = delete;
    CapturedSound& operator=(const CapturedSound&) = delete;

    // The records of the frame that ran since the last call.
    std::vector<nlohmann::json> frameRecords();
    // The show ended: frameRecords() then also holds what the encoders held.
    void finish();

    void opened(const std::string& patch, double sampleRate) override;
    void heard(const std::string& patch, const float* stereo, size_t frames) override;

private:
    struct Stream {
        std::unique_ptr<LosslessSoundEncoder> encoder;
        size_t frames = 0;  // read in this frame
        std::vector<std::string> packets;
    };
    void close(const std::string& patch, Stream& stream);
    // The stream's "sound" record for this frame, if it read or made anything.
    void record(const std::string& patch, Stream& stream);

    std::map<std::string, Stream> streams_;
    std::vector<nlohmann::json> records_;
};
