#pragma once

#include "host/QCPatch.h"

#include <array>
#include <future>
#include <memory>
#include <string>
#include <vector>

class AudioAnalyzer;
class AudioDevice;
class LiveSoundSource;
class SoundPlayer;
struct DecodedSound;

// Provider: the music, measured, so pictures can follow its loudness, its
// bands and its beats. The sound comes from JACK capture ports, from the
// composition's own output, or from a song the composition plays itself.
class AudioAnalysis : public QCPatch {
public:
    static constexpr const char* className = "AudioAnalysis";
    static constexpr const char* classDescription =
        "Level, peak, frequency bands, onsets, waveform and spectrum images of live or played sound.";
    static constexpr int kBandPorts = 64;
    static int executionMode() { return 2; }

    explicit AudioAnalysis(const std::string& identifier);
    ~AudioAnalysis() override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputSource{this, "inputSource",
        {.description = "jack:REGEX (JACK capture ports whose names match), mix (the composition's own output) or "
                        "file:PATH (a song played on composition time, relative to the composition)"}};
    QCIndexPort inputBands{this, "inputBands",
        {.description = "frequency bands from 20 Hz to 20 kHz on a log scale, on outputBand1 and on", .min = 1,
         .max = kBandPorts}};
    QCNumberPort inputAttack{this, "inputAttack",
        {.description = "seconds the outputs take to rise; 0 follows at once", .min = 0, .max = 5, .unit = "s"}};
    QCNumberPort inputRelease{this, "inputRelease",
        {.description = "seconds the outputs take to fall; 0 follows at once", .min = 0, .max = 5, .unit = "s"}};
    QCNumberPort outputLevel{this, "outputLevel", {.description = "RMS level, 0 to 1", .min = 0, .max = 1}};
    QCNumberPort outputPeak{this, "outputPeak", {.description = "peak level, 0 to 1", .min = 0, .max = 1}};
    QCNumberPort outputLevelDB{this, "outputLevelDB",
        {.description = "RMS level in dBFS (-120 for silence)", .min = -120, .max = 0, .unit = "dB"}};
    QCNumberPort outputPeakDB{this, "outputPeakDB",
        {.description = "peak level in dBFS (-120 for silence)", .min = -120, .max = 0, .unit = "dB"}};
    QCBooleanPort outputOnset{this, "outputOnset", {.description = "true for one frame when a beat or note begins"}};
    QCGLImagePort outputWaveform{this, "outputWaveform",
        {.description = "the newest 1024 samples, a row per channel, silence grey (a shader's audio input)"}};
    QCGLImagePort outputSpectrum{this, "outputSpectrum",
        {.description = "512 magnitudes low to high, a row per channel, -60 to 0 dBFS as 0 to 1 "
                        "(a shader's audioFFT input)"}};

    QCNumberPort& outputBand(int band) { return *bands_.at(static_cast<size_t>(band)); }
    // Onsets the analysis found (for tests and benchmarks).
    uint64_t onsetCount() const;

private:
    bool openSource(const std::string& source, const std::string& directory, std::string* error);
    void closeSource();
    // Hands the analyzer the sound that arrived since the last frame.
    void feed(double time);
    void publish(double time);
    void report(const std::string& line);
    // Takes the decoded song once it is there; live, never waits for it.
    bool songReady(bool live);

    struct SongDecoding {
        std::shared_ptr<const DecodedSound> sound;
        std::string error;
    };
    std::future<SongDecoding> decoding_;

    std::array<std::unique_ptr<QCNumberPort>, kBandPorts> bands_;
    std::unique_ptr<AudioAnalyzer> analyzer_;
    std::unique_ptr<LiveSoundSource> capture_;
    std::shared_ptr<AudioDevice> mixDevice_;
    int listener_ = 0;
    std::shared_ptr<const DecodedSound> song_;
    std::unique_ptr<SoundPlayer> player_;
    int64_t fedUntil_ = -1;  // the song's frames handed to the analyzer
    std::vector<float> pending_;
    StringRef currentSource_;
    bool hasOpened_ = false;
    double lastTime_ = 0;
    double retryAt_ = 0;  // composition time of the next try of a JACK source that failed
    bool hasTime_ = false;
    double level_ = 0, peak_ = 0;
    std::vector<double> smoothedBands_;
    std::string lastLine_;
};
