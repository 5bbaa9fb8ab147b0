#pragma once

#include "platform/audio/LiveSound.h"

#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

// The live sound of a take (see CapturedSound), handed back to the patches
// that read it: a patch's source opens in the frame it opened in the show,
// and each frame it reads what it read in that frame of the show.
class ReplayedSound : public LiveSound::Player {
public:
    ReplayedSound();
    ~ReplayedSound() override;
    ReplayedSound(const ReplayedSound&) = delete;
    ReplayedSound& operator=(const ReplayedSound&) = delete;

    // While reading the take: a "sound-open" or "sound" record (checked by
    // the caller for its kind) at `line`. False with `error` saying what is wrong.
    bool add(const nlohmann::json& record, size_t line, std::string* error);
    // Decodes the sound once every record is read; a packet that does not
    // decode is named with `line`, the line of its record.
    bool decode(size_t* line, std::string* error);

    // In the replay's frames, in take order. False when the take holds
    // fewer samples than the show read (it was cut short).
    void opened(const std::string& patch);
    bool deliver(const std::string& patch, size_t frames);

    std::unique_ptr<LiveSoundSource> open(const std::string& patch, std::string* error) override;

private:
    struct Stream {
        double rate = 0;
        std::vector<std::string> packets;
        std::vector<size_t> lines;  // of each packet's record
        std::vector<float> stereo;
        size_t cursor = 0;  // in floats
    };
    struct Patch {
        std::vector<Stream> streams;  // one for each time it opened, in order
        size_t added = 0;             // streams met while reading
        long current = -1;            // the stream the replay has reached
        std::shared_ptr<std::vector<float>> unread;  // what its source has yet to read
    };
    std::map<std::string, Patch> patches_;
};
