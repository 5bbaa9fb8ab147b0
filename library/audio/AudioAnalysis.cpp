#include "library/audio/AudioAnalysis.h"

#include "host/QCGLCGImage.h"
#include "platform/audio/AudioAnalyzer.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/JACKAudioDevice.h"
#include "platform/audio/LiveSound.h"
#include "platform/audio/SoundPlayer.h"
#include "platform/foundation/NSLog.h"
#include "platform/media/SoundFileDecoder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

namespace {

constexpr const char* kDefaultSource = "jack:system:capture_.*";
// The rate a song is decoded at when no output device plays it.
constexpr double kSilentRate = 48000.0;

double decibels(double level) { return level > 1e-6 ? 20.0 * std::log10(level) : -120.0; }

// Moves `value` towards `target` with the attack or release time constant.
double smooth(double value, double target, double dt, double attack, double release) {
    const double tau = target > value ? attack : release;
    if (!(tau > 0) || !(dt > 0)) return target;
    return value + (target - value) * (1.0 - std::exp(-dt / tau));
}

// Rows of grey values 0-1, one row per channel, as an opaque picture.
ImageRef greyImage(const std::vector<float>& values, size_t width, size_t rows, bool signedValues) {
    PageAlignedBuffer pixels(width * rows * 4, PageAlignedBuffer::Fill::None);
    uint8_t* p = pixels.data();
    for (size_t i = 0; i < width * rows; ++i) {
        const float v = signedValues ? 0.5f + 0.5f * values[i] : values[i];
        const auto grey = static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
        p[4 * i] = p[4 * i + 1] = p[4 * i + 2] = grey;
        p[4 * i + 3] = 255;
    }
    CGImageRef image = CGImageCreate(width, rows, 8, width * 4, CGColorSpaceCreateDeviceRGB(),
                                     kCGImageAlphaPremultipliedLast, std::move(pixels));
    return image ? std::make_shared<const QCGLCGImage>(image, nullptr) : nullptr;
}

}  // namespace

AudioAnalysis::AudioAnalysis(const std::string& identifier) : QCPatch(identifier) {
    inputSource.setStringValue(newString(kDefaultSource));
    inputBands.setMaxIndexValue(kBandPorts);
    inputBands.setIndexValue(8);
    inputAttack.setDoubleValue(0.01);
    inputRelease.setDoubleValue(0.15);
    for (int b = 0; b < kBandPorts; ++b)
        bands_[static_cast<size_t>(b)] = std::make_unique<QCNumberPort>(
            this, "outputBand" + std::to_string(b + 1),
            QCPortInfo{.description = "a frequency band's strength, 0 to 1 (0 above inputBands)", .min = 0, .max = 1});
}

AudioAnalysis::~AudioAnalysis() { closeSource(); }

uint64_t AudioAnalysis::onsetCount() const { return analyzer_ ? analyzer_->onsetCount() : 0; }

void AudioAnalysis::report(const std::string& line) {
    // A source that keeps failing the same way is told once.
    if (line == lastLine_) return;
    lastLine_ = line;
    NSLog("AudioAnalysis: %s", line.c_str());
}

void AudioAnalysis::closeSource() {
    if (decoding_.valid()) decoding_.wait();
    decoding_ = {};
    if (mixDevice_ && listener_ != 0) mixDevice_->removeListener(listener_);
    mixDevice_.reset();
    listener_ = 0;
    capture_.reset();
    player_.reset();
    song_.reset();
    analyzer_.reset();
    pending_.clear();
    fedUntil_ = -1;
}

bool AudioAnalysis::openSource(const std::string& source, const std::string& directory, std::string* error) {
    if (source.rfind("jack:", 0) == 0) {
        const std::string pattern = source.size() > 5 ? source.substr(5) : std::string("system:capture_.*");
        capture_ = LiveSound::open(identifier(), pattern, error);
        if (!capture_) return false;
        analyzer_ = std::make_unique<AudioAnalyzer>(capture_->sampleRate());
        if (capture_->connectNewPorts() == 0) report("no JACK port matches \"" + pattern + "\" yet");
        return true;
    }
    if (source == "mix") {
        AudioHardware& hardware = AudioHardware::shared();
        mixDevice_ = hardware.device(hardware.defaultOutputDevice());
        if (!mixDevice_) {
            if (error) *error = "mix: there is no audio output device to listen to";
            return false;
        }
        analyzer_ = std::make_unique<AudioAnalyzer>(mixDevice_->streamFormat().mSampleRate);
        listener_ = mixDevice_->addListener([this](const float* stereo, uint32_t frames) {
            pending_.insert(pending_.end(), stereo, stereo + size_t{frames} * 2);
            // A frame loop that stalls keeps the newest few seconds only.
            const size_t limit = static_cast<size_t>(analyzer_->sampleRate() * 4) * 2;
            if (pending_.size() > limit)
                pending_.erase(pending_.begin(), pending_.end() - static_cast<std::ptrdiff_t>(limit));
        });
        return true;
    }
    if (source.rfind("file:", 0) == 0 && source.size() > 5) {
        std::filesystem::path path = source.substr(5);
        if (path.is_relative() && !directory.empty()) path = std::filesystem::path(directory) / path;
        std::string why;
        player_ = SoundPlayer::create(&why);  // none: measured but not heard (run without --audio)
        const double rate = player_ ? player_->sampleRate() : kSilentRate;
        // Decoded on a thread of its own: a long song would stall live frames.
        decoding_ = std::async(std::launch::async, [file = path.string(), rate] {
            SongDecoding result;
            result.sound = SoundFileDecoder::decode(file, rate, &result.error);
            if (result.sound && result.sound->cut) result.error = file + ": longer than an hour; the first hour is played";
            return result;
        });
        return true;
    }
    if (error) *error = "inputSource \"" + source + "\" must be jack:REGEX, mix or file:PATH";
    return false;
}

bool AudioAnalysis::songReady(bool live) {
    if (!decoding_.valid()) return true;
    if (live && decoding_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
    SongDecoding result = decoding_.get();
    if (!result.error.empty()) report(result.error);
    if (!result.sound) {
        closeSource();
        return false;
    }
    song_ = std::move(result.sound);
    if (player_) player_->setSound(std::shared_ptr<const std::vector<float>>(song_, &song_->stereo));
    analyzer_ = std::make_unique<AudioAnalyzer>(song_->sampleRate);
    return true;
}

void AudioAnalysis::feed(double time) {
    if (capture_) {
        capture_->connectNewPorts();
        pending_.clear();
        capture_->read(pending_);
    } else if (mixDevice_) {
        // JACK hands over what it played only when asked; an offline
        // device has already told the listener while it advanced.
        if (dynamic_cast<JACKAudioDevice*>(mixDevice_.get())) mixDevice_->collectPlayed();
    } else if (song_) {
        const double rate = song_->sampleRate;
        const auto now = static_cast<int64_t>(std::llround(std::max(0.0, time) * rate));
        // A jump in time (a loop, a seek) starts the analysis afresh at the new place.
        if (fedUntil_ < 0 || now < fedUntil_ || now - fedUntil_ > static_cast<int64_t>(rate)) {
            analyzer_->reset();
            fedUntil_ = std::max<int64_t>(0, now - static_cast<int64_t>(AudioAnalyzer::kWindow));
        }
        pending_.assign(static_cast<size_t>(now - fedUntil_) * 2, 0.0f);
        const auto frames = static_cast<int64_t>(song_->frames());
        for (int64_t f = fedUntil_; f < std::min(now, frames); ++f) {
            pending_[static_cast<size_t>(f - fedUntil_) * 2] = song_->stereo[static_cast<size_t>(f) * 2];
            pending_[static_cast<size_t>(f - fedUntil_) * 2 + 1] = song_->stereo[static_cast<size_t>(f) * 2 + 1];
        }
        fedUntil_ = now;
        if (player_) player_->follow(time, 1.0, 1.0);
    }
    analyzer_->push(pending_.data(), pending_.size() / 2);
    pending_.clear();
}

void AudioAnalysis::publish(double time) {
    analyzer_->setBandCount(static_cast<int>(inputBands.indexValue()));
    analyzer_->analyze();
    const double dt = hasTime_ ? time - lastTime_ : 0.0;
    const double attack = inputAttack.doubleValue(), release = inputRelease.doubleValue();
    level_ = smooth(level_, analyzer_->level(), dt, attack, release);
    peak_ = smooth(peak_, analyzer_->peak(), dt, attack, release);
    outputLevel.setDoubleValue(level_);
    outputPeak.setDoubleValue(peak_);
    outputLevelDB.setDoubleValue(decibels(level_));
    outputPeakDB.setDoubleValue(decibels(peak_));
    outputOnset.setBooleanValue(analyzer_->onset());
    const std::vector<double>& bands = analyzer_->bands();
    smoothedBands_.resize(kBandPorts, 0.0);
    for (size_t b = 0; b < kBandPorts; ++b) {
        const double target = b < bands.size() ? bands[b] : 0.0;
        smoothedBands_[b] = b < bands.size() ? smooth(smoothedBands_[b], target, dt, attack, release) : 0.0;
        bands_[b]->setDoubleValue(smoothedBands_[b]);
    }
    outputWaveform.setImageValue(greyImage(analyzer_->waveform(), AudioAnalyzer::kWindow, 2, true));
    outputSpectrum.setImageValue(greyImage(analyzer_->spectrum(), AudioAnalyzer::kBins, 2, false));
}

bool AudioAnalysis::execute(QCOpenGLContext*, double time, const QCArguments* arguments) {
    // A JACK server started after the show is found: tried again every two seconds.
    const bool retry = !analyzer_ && !decoding_.valid() && currentSource_ && currentSource_->rfind("jack:", 0) == 0 &&
                       std::isfinite(time) && time >= retryAt_;
    if (!hasOpened_ || inputSource.stringValue() != currentSource_ || retry) {
        hasOpened_ = true;
        retryAt_ = time + 2.0;
        currentSource_ = inputSource.stringValue();
        closeSource();
        std::string error;
        const std::string source = currentSource_ ? *currentSource_ : std::string();
        if (!openSource(source, arguments ? arguments->directory : std::string(), &error)) {
            closeSource();
            report(error);
        } else {
            lastLine_.clear();
        }
        hasTime_ = false;
    }
    if (!songReady(arguments && arguments->live) || !analyzer_) {
        outputLevel.setDoubleValue(0);
        outputPeak.setDoubleValue(0);
        outputLevelDB.setDoubleValue(-120);
        outputPeakDB.setDoubleValue(-120);
        outputOnset.setBooleanValue(false);
        for (auto& band : bands_) band->setDoubleValue(0);
        outputWaveform.setImageValue(nullptr);
        outputSpectrum.setImageValue(nullptr);
        return true;
    }
    feed(time);
    publish(time);
    lastTime_ = time;
    hasTime_ = true;
    return true;
}
