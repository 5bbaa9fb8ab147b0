#include "platform/audio/SoundPlayer.h"

#include <algorithm>
#include <cmath>

std::unique_ptr<SoundPlayer> SoundPlayer::create(std::string* error) {
    AudioDeviceID device = kAudioDeviceUnknown;
    uint32_t size = sizeof device;
    if (AudioHardwareGetProperty(kAudioHardwarePropertyDefaultOutputDevice, &size, &device) != kAudioHardwareNoError ||
        device == kAudioDeviceUnknown) {
        if (error) *error = "there is no audio output device";
        return nullptr;
    }
    AudioStreamBasicDescription format;
    size = sizeof format;
    uint32_t bufferBytes = 0, bufferSize = sizeof bufferBytes;
    if (AudioDeviceGetProperty(device, 0, false, kAudioDevicePropertyStreamFormat, &size, &format) != 0 ||
        AudioDeviceGetProperty(device, 0, false, kAudioDevicePropertyBufferSize, &bufferSize, &bufferBytes) != 0 ||
        format.mSampleRate <= 0) {
        if (error) *error = "the audio output device has no usable format";
        return nullptr;
    }
    std::unique_ptr<SoundPlayer> player(new SoundPlayer());
    player->device_ = device;
    player->sampleRate_ = format.mSampleRate;
    // A period and a frame of the loop's jitter apart is still in step;
    // further than that the sound jumps.
    const double period = format.mBytesPerFrame > 0 ? double(bufferBytes) / format.mBytesPerFrame : 1024;
    player->tolerance_ = std::max(2 * period, 0.04 * format.mSampleRate);
    if (AudioDeviceAddIOProc(device, &SoundPlayer::ioProc, player.get()) != 0) {
        if (error) *error = "the audio output device takes no more sounds";
        return nullptr;
    }
    return player;
}

SoundPlayer::~SoundPlayer() {
    AudioDeviceStop(device_, &SoundPlayer::ioProc, this);
    AudioDeviceRemoveIOProc(device_, &SoundPlayer::ioProc, this);
}

void SoundPlayer::setSound(std::shared_ptr<const std::vector<float>> stereo) {
    // Once stop returns the IO thread no longer reads the old sound.
    if (started_) AudioDeviceStop(device_, &SoundPlayer::ioProc, this);
    started_ = false;
    sound_ = std::move(stereo);
    if (sound_ && !sound_->empty()) started_ = AudioDeviceStart(device_, &SoundPlayer::ioProc, this) == 0;
}

void SoundPlayer::follow(double seconds, double rate, double volume) {
    rate_.store(std::isfinite(rate) ? rate : 0.0, std::memory_order_relaxed);
    volume_.store(std::isfinite(volume) ? static_cast<float>(std::clamp(volume, 0.0, 4.0)) : 0.0f,
                  std::memory_order_relaxed);
    if (!std::isfinite(seconds)) return;
    const double frames = seconds * sampleRate_;
    if (std::fabs(frames - published_.load(std::memory_order_relaxed)) > tolerance_ ||
        targetSerial_.load(std::memory_order_relaxed) == 0) {
        target_.store(frames, std::memory_order_relaxed);
        targetSerial_.fetch_add(1, std::memory_order_release);
        published_.store(frames, std::memory_order_relaxed);  // until the IO thread says otherwise
    }
}

double SoundPlayer::position() const { return published_.load(std::memory_order_relaxed) / sampleRate_; }

OSStatus SoundPlayer::ioProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                             AudioBufferList* output, const AudioTimeStamp*, void* client) {
    if (output == nullptr || output->mNumberBuffers == 0 || output->mBuffers[0].mData == nullptr) return 0;
    const uint32_t frames = output->mBuffers[0].mDataByteSize / (2 * sizeof(float));
    static_cast<SoundPlayer*>(client)->render(static_cast<float*>(output->mBuffers[0].mData), frames);
    return 0;
}

void SoundPlayer::render(float* out, uint32_t frames) {
    const uint64_t serial = targetSerial_.load(std::memory_order_acquire);
    if (serial != seenSerial_) {
        seenSerial_ = serial;
        cursor_ = target_.load(std::memory_order_relaxed);
        if (serial > 1) jumps_.fetch_add(1, std::memory_order_relaxed);
    }
    const double rate = rate_.load(std::memory_order_relaxed);
    const float gain = volume_.load(std::memory_order_relaxed);
    const std::vector<float>& sound = *sound_;
    const double length = static_cast<double>(sound.size() / 2);
    for (uint32_t i = 0; i < frames && rate != 0; ++i) {
        const double at = cursor_ + rate * i;
        if (at < 0 || at >= length) continue;
        // Whole frames at rate 1 (the common case) are copied exactly.
        const size_t index = static_cast<size_t>(at);
        const double fraction = at - static_cast<double>(index);
        const size_t next = std::min(index + 1, sound.size() / 2 - 1);
        for (int c = 0; c < 2; ++c) {
            const float a = sound[2 * index + size_t(c)], b = sound[2 * next + size_t(c)];
            out[2 * i + size_t(c)] += gain * static_cast<float>(a + (b - a) * fraction);
        }
    }
    cursor_ += rate * frames;
    published_.store(cursor_, std::memory_order_relaxed);
}
