#pragma once

#include <memory>
#include <string>
#include <vector>

// The whole sound track of a sound or movie file, decoded once, as
// interleaved float stereo at a rate of the caller's choosing (the output
// device's), so a player only copies. A mono source plays on both channels.
struct DecodedSound {
    // Longer sound is cut here: an hour of float stereo at 48 kHz is 1.4 GB.
    static constexpr double kMaxSeconds = 3600;

    double sampleRate = 0;
    std::vector<float> stereo;
    bool cut = false;  // the file went on past kMaxSeconds

    size_t frames() const { return stereo.size() / 2; }
};

class SoundFileDecoder {
public:
    // Null with `error` naming the file and what is wrong (not a regular
    // file, not a format FFmpeg reads, no sound stream). A file cut short
    // gives the sound it holds. `noSoundIsError` false makes a file without
    // sound an empty result instead (a movie may be silent).
    static std::shared_ptr<const DecodedSound> decode(const std::string& path, double sampleRate, std::string* error,
                                                      bool noSoundIsError = true);
};
