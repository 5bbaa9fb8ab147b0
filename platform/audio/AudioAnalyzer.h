#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct kiss_fftr_state;

// Measures stereo sound as it arrives: level and peak of the newest window,
// frequency bands on a log scale, a spectrum and a waveform per channel, and
// onsets (spectral flux against an adaptive threshold, a hop at a time).
// One thread feeds and reads it.
class AudioAnalyzer {
public:
    static constexpr size_t kWindow = 1024;  // samples per analysis
    static constexpr size_t kHop = 512;      // samples between onset measurements
    static constexpr size_t kBins = kWindow / 2;
    static constexpr int kMaxBands = 64;
    // Log-scale band edges, clipped to the Nyquist frequency.
    static constexpr double kLowestHz = 20.0, kHighestHz = 20000.0;

    explicit AudioAnalyzer(double sampleRate);
    ~AudioAnalyzer();
    AudioAnalyzer(const AudioAnalyzer&) = delete;
    AudioAnalyzer& operator=(const AudioAnalyzer&) = delete;

    double sampleRate() const { return sampleRate_; }
    // 1 to kMaxBands (clamped).
    void setBandCount(int bands);
    int bandCount() const { return static_cast<int>(bandEdges_.size()) - 1; }
    // The lowest and highest frequency of a band, in Hz.
    double bandLow(int band) const;
    double bandHigh(int band) const;

    // Interleaved stereo, newest last; onsets are measured on the way.
    void push(const float* stereo, size_t frames);
    // Forgets all sound (a new source).
    void reset();

    // Measures the newest window; the onset says whether one came since the
    // last call.
    void analyze();

    double level() const { return level_; }  // RMS of both channels, 0-1
    double peak() const { return peak_; }    // largest magnitude since the last analysis
    bool onset() const { return onset_; }
    const std::vector<double>& bands() const { return bands_; }  // each 0-1: a full-scale sine is 1
    // kBins magnitudes per channel, left then right, mapped from -60..0 dBFS to 0..1.
    const std::vector<float>& spectrum() const { return spectrum_; }
    // kWindow samples per channel, left then right, -1..1.
    const std::vector<float>& waveform() const { return waveform_; }
    // Onsets measured since construction or reset (for tests and benchmarks).
    uint64_t onsetCount() const { return onsets_; }

private:
    void measureHop();
    // Fills mags with normalised magnitudes (a full-scale sine peaks at 1)
    // of the windowed newest kWindow samples of `channel` (2: both mixed).
    void magnitudes(int channel, std::vector<float>& mags);

    double sampleRate_;
    kiss_fftr_state* fft_ = nullptr;
    std::vector<float> hann_, timeIn_;
    std::vector<float> fftOut_;  // kBins + 1 complex values
    std::vector<float> history_;  // kWindow stereo frames, a ring
    size_t write_ = 0;            // next frame of history_ to write
    size_t sinceHop_ = 0;
    std::vector<double> bandEdges_;
    std::vector<float> mags_, previousFlux_, left_, right_;
    std::vector<double> fluxes_;  // recent flux values, a ring
    size_t fluxAt_ = 0;
    size_t hopsSinceOnset_ = 1000;
    bool onsetPending_ = false;
    float newPeak_ = 0;

    double level_ = 0, peak_ = 0;
    bool onset_ = false;
    uint64_t onsets_ = 0;
    std::vector<double> bands_;
    std::vector<float> spectrum_, waveform_;
};
