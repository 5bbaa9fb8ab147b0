#include "VideoFrameSink.h"

#include "tools/tembra/Options.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace {

// Pictures that may wait for a live recording's encoder before one is dropped.
constexpr size_t kLiveQueue = 8;

}  // namespace

void VideoFrameSink::checkPath(const std::string& path) {
    std::string error;
    if (!VideoFileWriter::checkExtension(path, &error)) throw UsageError("--record: " + error);
    if (!VideoFileWriter::checkTarget(path, &error)) throw std::runtime_error(error);
}

VideoFrameSink::VideoFrameSink(const std::string& path, int width, int height, double fps, int quality,
                               std::shared_ptr<AudioDevice> sound, bool live)
    : settings_{path, width, height, fps, 0, quality, live}, sound_(std::move(sound)) {
    // Found out now rather than after the composition has started.
    const auto dir = std::filesystem::path(path).parent_path();
    std::error_code failed;
    if (!dir.empty()) std::filesystem::create_directories(dir, failed);
    if (failed) throw std::runtime_error("cannot record to " + path + ": " + failed.message());
    std::string error;
    if (!VideoFileWriter::checkWritable(path, &error)) throw std::runtime_error(error);

    if (live) {
        queue_ = std::make_unique<RecordingQueue>(kLiveQueue);
        encoder_ = std::thread([this] { encodeQueued(); });
    }
    if (sound_)
        listener_ = sound_->addListener([this](const float* stereo, uint32_t frames) {
            if (queue_) queue_->pushSound(stereo, frames);
            else encodeSound(stereo, frames);
        });
}

VideoFrameSink::~VideoFrameSink() {
    if (sound_) sound_->removeListener(listener_);
    if (encoder_.joinable()) {
        {
            // Not finished: what still waits is let go, not encoded.
            std::lock_guard lock(mutex_);
            if (failure_.empty()) failure_ = "abandoned";
        }
        queue_->close();
        encoder_.join();
    }
}

void VideoFrameSink::openWriter(bool withSound) {
    settings_.sampleRate = withSound ? static_cast<int>(sound_->streamFormat().mSampleRate) : 0;
    std::string error;
    writer_ = VideoFileWriter::open(settings_, &error);
    if (!writer_) throw std::runtime_error(error);
    if (withSound && !early_.empty() && !writer_->writeAudio(early_.data(), early_.size() / 2, &error))
        throw std::runtime_error(error);
    early_.clear();
}

void VideoFrameSink::encodeSound(const float* stereo, size_t frames) {
    if (!writer_) {
        early_.insert(early_.end(), stereo, stereo + frames * 2);
        return;
    }
    if (!writer_->hasAudio()) return;
    std::string error;
    if (!writer_->writeAudio(stereo, frames, &error)) throw std::runtime_error(error);
}

void VideoFrameSink::encodePicture(long index, double seconds, const VideoFileWriter::Picture& picture,
                                   bool withSound) {
    if (!writer_) openWriter(withSound);
    std::string error;
    const bool written = settings_.live ? writer_->writeVideoAt(seconds, picture, &error)
                                        : writer_->writeVideo(index, picture, &error);
    if (!written) throw std::runtime_error(error);
    encoded_ = writer_->framesWritten();
    bytes_ = writer_->bytesWritten();
}

void VideoFrameSink::encodeQueued() {
    while (auto item = queue_->pop()) {
        {
            std::lock_guard lock(mutex_);
            if (!failure_.empty()) continue;  // the recording is over; the rest is let go
        }
        try {
            if (item->kind == RecordingQueue::Item::Kind::Sound) {
                encodeSound(item->stereo.data(), item->stereo.size() / 2);
            } else {
                encodePicture(item->index, item->seconds, {item->rgba.data(), item->width, item->height},
                              item->withSound);
                queue_->recycle(std::move(item->rgba));
            }
        } catch (const std::exception& e) {
            std::lock_guard lock(mutex_);
            failure_ = e.what();
        }
    }
}

void VideoFrameSink::throwIfFailed() {
    std::lock_guard lock(mutex_);
    if (!failure_.empty()) throw std::runtime_error(failure_);
}

void VideoFrameSink::write(const RenderedFrame& frame) {
    // Sound is there by the end of the first frame or not at all.
    if (!soundDecided_) {
        soundDecided_ = true;
        withSound_ = sound_ && sound_->startedProcCount() > 0;
    } else if (!withSound_ && !lateSound_ && sound_) {
        lateSound_ = sound_->startedProcCount() > 0;
    }
    // Nothing drawn (a minimised window): the frame's number stays unused,
    // so the pictures around it keep their times.
    if (frame.rgba.empty()) return;
    if (!queue_)
        return encodePicture(frame.index, frame.clock, {frame.rgba.data(), frame.width, frame.height}, withSound_);
    throwIfFailed();
    if (!queue_->pushPicture(frame.index, frame.clock, frame.width, frame.height, withSound_, frame.rgba))
        ++dropped_;
}

void VideoFrameSink::finish() {
    if (finished_) return;
    finished_ = true;
    if (sound_) sound_->removeListener(listener_);
    if (encoder_.joinable()) {
        queue_->close();
        encoder_.join();
        throwIfFailed();
    }
    if (!writer_) openWriter(false);  // no frames: an empty recording still is one
    std::string error;
    if (!writer_->finish(&error)) throw std::runtime_error(error);
    bytes_ = writer_->bytesWritten();
}

std::string VideoFrameSink::status() const {
    char text[64];
    const auto bytes = static_cast<double>(bytes_.load());
    if (bytes < 1e6) std::snprintf(text, sizeof text, "%ld frames, %.0f kB", encoded_.load(), bytes / 1e3);
    else std::snprintf(text, sizeof text, "%ld frames, %.1f MB", encoded_.load(), bytes / 1e6);
    return text;
}

std::string VideoFrameSink::summary() const {
    return "recorded " + std::to_string(encoded_.load()) + " frames, dropped " + std::to_string(dropped_);
}

std::string VideoFrameSink::warning() const {
    return lateSound_ ? settings_.path + " has no audio track: the sound began after the first frame" : "";
}
