#include "platform/audio/WAVFileAudioDevice.h"

#include <algorithm>

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
    return device;
}

WAVFileAudioDevice::~WAVFileAudioDevice() { close(); }

void WAVFileAudioDevice::play(const float* stereo, uint32_t frames) {
    if (file_ == nullptr) return;
    const auto count = static_cast<sf_count_t>(std::min<uint64_t>(frames, kMaxFrames - framesWritten_));
    // A write that falls short (a full disk) ends the file where it is.
    if (sf_writef_float(file_, stereo, count) != count) return close();
    framesWritten_ += static_cast<uint64_t>(count);
    if (framesWritten_ == kMaxFrames) close();
}

void WAVFileAudioDevice::close() {
    if (file_ == nullptr) return;
    sf_close(file_);
    file_ = nullptr;
}
