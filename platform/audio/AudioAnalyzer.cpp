#include "platform/audio/AudioAnalyzer.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Flux values the threshold follows: about 170 ms at 48 kHz.
constexpr size_t kFluxHistory = 16;
// How far above the recent mean a flux must rise, and by how much at least.
constexpr double kThresholdRatio = 1.5, kThresholdFloor = 0.02;
// Two onsets closer than this are one (a click stays in two windows).
constexpr double kMinimumGapSeconds = 0.05;
// log(1 + kCompression * magnitude): quiet partials count, loud ones do not swamp.
constexpr float kCompression = 100.0f;

}  // namespace

AudioAnalyzer::AudioAnalyzer(double sampleRate)
    : sampleRate_(sampleRate > 0 && std::isfinite(sampleRate) ? sampleRate : 48000.0),
      fft_(kiss_fftr_alloc(static_cast<int>(kWindow), 0, nullptr, nullptr)),
      hann_(kWindow), timeIn_(kWindow), fftOut_(2 * (kBins + 1)), history_(2 * kWindow),
      mags_(kBins), previousFlux_(kBins), left_(kBins), right_(kBins), fluxes_(kFluxHistory),
      spectrum_(2 * kBins), waveform_(2 * kWindow) {
    for (size_t i = 0; i < kWindow; ++i)
        hann_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / kWindow));
    setBandCount(8);
}

AudioAnalyzer::~AudioAnalyzer() { kiss_fftr_free(fft_); }

void AudioAnalyzer::setBandCount(int bands) {
    bands = std::clamp(bands, 1, kMaxBands);
    if (bands == bandCount()) return;
    const double high = std::min(kHighestHz, sampleRate_ / 2);
    bandEdges_.resize(static_cast<size_t>(bands) + 1);
    for (int i = 0; i <= bands; ++i) bandEdges_[static_cast<size_t>(i)] = kLowestHz * std::pow(high / kLowestHz, double(i) / bands);
    bands_.assign(static_cast<size_t>(bands), 0.0);
}

double AudioAnalyzer::bandLow(int band) const { return bandEdges_.at(static_cast<size_t>(band)); }
double AudioAnalyzer::bandHigh(int band) const { return bandEdges_.at(static_cast<size_t>(band) + 1); }

void AudioAnalyzer::reset() {
    std::fill(history_.begin(), history_.end(), 0.0f);
    std::fill(previousFlux_.begin(), previousFlux_.end(), 0.0f);
    std::fill(fluxes_.begin(), fluxes_.end(), 0.0);
    sinceHop_ = 0;
    hopsSinceOnset_ = 1000;
    onsetPending_ = false;
    newPeak_ = 0;
    onsets_ = 0;
}

void AudioAnalyzer::push(const float* stereo, size_t frames) {
    for (size_t i = 0; i < frames; ++i) {
        const float l = stereo[2 * i], r = stereo[2 * i + 1];
        history_[2 * write_] = l;
        history_[2 * write_ + 1] = r;
        write_ = (write_ + 1) % kWindow;
        newPeak_ = std::max({newPeak_, std::fabs(l), std::fabs(r)});
        if (++sinceHop_ == kHop) {
            sinceHop_ = 0;
            measureHop();
        }
    }
}

void AudioAnalyzer::magnitudes(int channel, std::vector<float>& mags) {
    for (size_t i = 0; i < kWindow; ++i) {
        const size_t at = (write_ + i) % kWindow;  // oldest first
        const float sample = channel == 2 ? 0.5f * (history_[2 * at] + history_[2 * at + 1])
                                          : history_[2 * at + static_cast<size_t>(channel)];
        timeIn_[i] = sample * hann_[i];
    }
    kiss_fftr(fft_, timeIn_.data(), reinterpret_cast<kiss_fft_cpx*>(fftOut_.data()));
    // A Hann-windowed sine of amplitude A peaks at A * N / 4.
    constexpr float scale = 4.0f / kWindow;
    for (size_t k = 0; k < kBins; ++k) mags[k] = std::hypot(fftOut_[2 * k], fftOut_[2 * k + 1]) * scale;
}

void AudioAnalyzer::measureHop() {
    magnitudes(2, mags_);
    double flux = 0;
    for (size_t k = 0; k < kBins; ++k) {
        const float compressed = std::log1p(kCompression * mags_[k]);
        flux += std::max(0.0f, compressed - previousFlux_[k]);
        previousFlux_[k] = compressed;
    }
    flux /= kBins;
    double mean = 0;
    for (double f : fluxes_) mean += f;
    mean /= kFluxHistory;
    fluxes_[fluxAt_] = flux;
    fluxAt_ = (fluxAt_ + 1) % kFluxHistory;
    ++hopsSinceOnset_;
    const double gapHops = kMinimumGapSeconds * sampleRate_ / kHop;
    if (flux > kThresholdRatio * mean + kThresholdFloor && static_cast<double>(hopsSinceOnset_) >= gapHops) {
        hopsSinceOnset_ = 0;
        onsetPending_ = true;
        ++onsets_;
    }
}

void AudioAnalyzer::analyze() {
    double sum = 0;
    float windowPeak = 0;
    for (size_t i = 0; i < kWindow; ++i) {
        const size_t at = (write_ + i) % kWindow;
        const float l = history_[2 * at], r = history_[2 * at + 1];
        sum += double(l) * l + double(r) * r;
        waveform_[i] = l;
        waveform_[kWindow + i] = r;
        windowPeak = std::max({windowPeak, std::fabs(l), std::fabs(r)});
    }
    level_ = std::min(1.0, std::sqrt(sum / (2 * kWindow)));
    peak_ = std::min(1.0f, std::max(newPeak_, windowPeak));
    newPeak_ = 0;
    onset_ = onsetPending_;
    onsetPending_ = false;

    magnitudes(0, left_);
    magnitudes(1, right_);
    for (size_t k = 0; k < kBins; ++k) {
        for (int c = 0; c < 2; ++c) {
            const float m = c == 0 ? left_[k] : right_[k];
            const float db = m > 0 ? 20.0f * std::log10(m) : -120.0f;
            spectrum_[size_t(c) * kBins + k] = std::clamp((db + 60.0f) / 60.0f, 0.0f, 1.0f);
        }
    }
    const double binHz = sampleRate_ / kWindow;
    for (size_t b = 0; b < bands_.size(); ++b) {
        // A band narrower than a bin takes the bin nearest its middle.
        size_t first = static_cast<size_t>(std::ceil(bandEdges_[b] / binHz));
        size_t last = static_cast<size_t>(std::ceil(bandEdges_[b + 1] / binHz));  // past the end
        if (last <= first) {
            first = static_cast<size_t>(std::lround(std::sqrt(bandEdges_[b] * bandEdges_[b + 1]) / binHz));
            last = first + 1;
        }
        float strongest = 0;
        for (size_t k = std::min(first, kBins - 1); k < std::min(last, kBins); ++k)
            strongest = std::max(strongest, 0.5f * (left_[k] + right_[k]));
        bands_[b] = std::min(1.0f, strongest);
    }
}
