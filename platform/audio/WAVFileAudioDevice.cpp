#include "WAVFileAudioDevice.h"

#include <algorithm>
#include <cmath>

std::shared_ptr<WAVFileAudioDevice> WAVFileAudioDevice::create(const std::string& path, std::string* error) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(kSampleRate);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        if (error) *error = "cannot write the WAV file " + path + ": " + sf_strerror(nullptr);
        return nullptr;
    }
    std::shared_ptr<WAVFileAudioDevice> device(new WAVFileAudioDevice());
    device->path_ = path;
    device->file_ = file;
    device->buffer_.resize(size_t{kPeriodFrames} * 2);
    return device;
}

WAVFileAudioDevice::~WAVFileAudioDevice() { close(); }

AudioStreamBasicDescription WAVFileAudioDevice::streamFormat() const { return floatStereoFormat(kSampleRate); }

void WAVFileAudioDevice::advanceTo(double seconds) {
    if (file_ == nullptr || !(seconds > 0) || !std::isfinite(seconds)) return;
    // Clamped to what a WAV file holds before the conversion to a count,
    // which would be undefined for a time too large.
    const double wanted = std::round(seconds * kSampleRate);
    const uint64_t target = wanted < static_cast<double>(kMaxFrames) ? static_cast<uint64_t>(wanted) : kMaxFrames;
    while (framesWritten_ < target) {
        const auto chunk = static_cast<uint32_t>(std::min<uint64_t>(kPeriodFrames, target - framesWritten_));
        AudioTimeStamp now;
        now.mSampleTime = static_cast<double>(framesWritten_);
        now.mFlags = kAudioTimeStampSampleTimeValid;
        mixCycle(buffer_.data(), chunk, now);
        // A write that falls short (a full disk) ends the file where it is.
        if (sf_writef_float(file_, buffer_.data(), chunk) != chunk) {
            close();
            return;
        }
        framesWritten_ += chunk;
    }
}

void WAVFileAudioDevice::close() {
    if (file_ == nullptr) return;
    sf_close(file_);
    file_ = nullptr;
}
