#include "platform/audio/OfflineAudioDevice.h"

#include <algorithm>
#include <cmath>

std::shared_ptr<OfflineAudioDevice> OfflineAudioDevice::create() {
    return std::shared_ptr<OfflineAudioDevice>(new OfflineAudioDevice());
}

AudioStreamBasicDescription OfflineAudioDevice::streamFormat() const { return floatStereoFormat(kSampleRate); }

void OfflineAudioDevice::advanceTo(double seconds) {
    if (!(seconds > 0) || !std::isfinite(seconds)) return;
    // Clamped before the conversion to a count, which would be undefined for
    // a time too large.
    const double wanted = std::round(seconds * kSampleRate);
    const uint64_t target = wanted < static_cast<double>(kFrameLimit) ? static_cast<uint64_t>(wanted) : kFrameLimit;
    while (framesPlayed_ < target) {
        const auto chunk = static_cast<uint32_t>(std::min<uint64_t>(kPeriodFrames, target - framesPlayed_));
        AudioTimeStamp now;
        now.mSampleTime = static_cast<double>(framesPlayed_);
        now.mFlags = kAudioTimeStampSampleTimeValid;
        mixCycle(buffer_.data(), chunk, now);
        framesPlayed_ += chunk;
        play(buffer_.data(), chunk);
        handToListeners(buffer_.data(), chunk);
    }
}
