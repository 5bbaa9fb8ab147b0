#include "VideoFrameSink.h"

#include "RunCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

void VideoFrameSink::checkPath(const std::string& path) {
    std::string error;
    if (!VideoFileWriter::checkExtension(path, &error)) throw UsageError("--record: " + error);
}

VideoFrameSink::VideoFrameSink(const std::string& path, int width, int height, double fps, int quality,
                               std::shared_ptr<OfflineAudioDevice> sound)
    : settings_{path, width, height, fps, 0, quality}, sound_(std::move(sound)) {
    // Found out now rather than after the composition has started.
    const auto dir = std::filesystem::path(path).parent_path();
    std::error_code failed;
    if (!dir.empty()) std::filesystem::create_directories(dir, failed);
    if (failed) throw std::runtime_error("cannot record to " + path + ": " + failed.message());
    const std::string probe = path + ".part";
    std::FILE* file = std::fopen(probe.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot record to " + path + ": " + std::strerror(errno));
    std::fclose(file);
    std::filesystem::remove(probe, failed);
    if (sound_)
        listener_ = sound_->addListener([this](const float* stereo, uint32_t frames) { hear(stereo, frames); });
}

VideoFrameSink::~VideoFrameSink() {
    if (sound_) sound_->removeListener(listener_);
}

void VideoFrameSink::open(bool withSound) {
    settings_.sampleRate = withSound ? static_cast<int>(OfflineAudioDevice::kSampleRate) : 0;
    std::string error;
    writer_ = VideoFileWriter::open(settings_, &error);
    if (!writer_) throw std::runtime_error(error);
    if (withSound && !early_.empty() && !writer_->writeAudio(early_.data(), early_.size() / 2, &error))
        throw std::runtime_error(error);
    early_.clear();
}

void VideoFrameSink::hear(const float* stereo, uint32_t frames) {
    if (!writer_) {
        early_.insert(early_.end(), stereo, stereo + size_t{frames} * 2);
        return;
    }
    if (!writer_->hasAudio()) {
        if (warning_.empty() && sound_->startedProcCount() > 0)
            warning_ = settings_.path + " has no audio track: the sound began after the first frame";
        return;
    }
    std::string error;
    if (!writer_->writeAudio(stereo, frames, &error)) throw std::runtime_error(error);
}

void VideoFrameSink::write(const RenderedFrame& frame) {
    if (!writer_) open(sound_ && sound_->startedProcCount() > 0);
    std::string error;
    if (!writer_->writeVideo(frame.index, {frame.rgba.data(), frame.width, frame.height}, &error))
        throw std::runtime_error(error);
}

void VideoFrameSink::finish() {
    if (finished_) return;
    finished_ = true;
    if (!writer_) open(false);  // no frames: an empty recording still is one
    std::string error;
    if (!writer_->finish(&error)) throw std::runtime_error(error);
}

std::string VideoFrameSink::status() const {
    if (!writer_) return {};
    char text[64];
    const double megabytes = static_cast<double>(writer_->bytesWritten()) / 1e6;
    std::snprintf(text, sizeof text, "%ld frames, %.1f MB", writer_->framesWritten(), megabytes);
    return text;
}
