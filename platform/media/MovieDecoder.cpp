#include "platform/media/MovieDecoder.h"

#include "platform/media/MediaInput.h"
#include "platform/media/SoundFileDecoder.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace {

// Pictures decoded past the one the frame loop wants.
constexpr size_t kAhead = 6;
// Times this close count as equal: frame times are rounded to the stream's
// time base.
constexpr double kEpsilon = 1e-4;
// Further ahead than this, a seek is quicker than decoding up to it.
constexpr double kSeekAheadSeconds = 2.0;
constexpr double kNoTime = -std::numeric_limits<double>::infinity();

struct SwsFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

}  // namespace

struct MovieDecoder::Stream {
    FormatContextPtr format;
    CodecContextPtr decoder;
    int index = -1;
    double start = 0;  // seconds of the first timestamp
    AVRational timeBase{1, 1};
    std::unique_ptr<SwsContext, SwsFreer> scaler;
    PacketPtr packet{av_packet_alloc()};
    FramePtr frame{av_frame_alloc()};
    bool flushing = false;

    // The next picture: true with `time` and `image` set, false at the end
    // (a damaged or cut-short file ends where it breaks).
    bool next(double& time, CGImageRef& image) {
        while (true) {
            const int received = avcodec_receive_frame(decoder.get(), frame.get());
            if (received == 0) {
                const int64_t pts = frame->best_effort_timestamp;
                time = pts == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(pts) * av_q2d(timeBase) - start;
                image = convert();
                av_frame_unref(frame.get());
                if (image) return true;
                continue;
            }
            if (received == AVERROR_EOF || flushing) return false;
            const int read = av_read_frame(format.get(), packet.get());
            if (read < 0) {
                flushing = true;
                avcodec_send_packet(decoder.get(), nullptr);
                continue;
            }
            if (packet->stream_index == index) avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
        }
    }

    CGImageRef convert() {
        const int w = frame->width, h = frame->height;
        if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return nullptr;
        scaler.reset(sws_getCachedContext(scaler.release(), w, h, static_cast<AVPixelFormat>(frame->format), w, h,
                                          AV_PIX_FMT_RGBA, SWS_BICUBIC,
                                          nullptr, nullptr, nullptr));
        if (!scaler) return nullptr;
        const size_t rowBytes = static_cast<size_t>(w) * 4;
        PageAlignedBuffer pixels(rowBytes * static_cast<size_t>(h), PageAlignedBuffer::Fill::None);
        uint8_t* planes[4] = {pixels.data(), nullptr, nullptr, nullptr};
        const int strides[4] = {static_cast<int>(rowBytes), 0, 0, 0};
        sws_scale(scaler.get(), frame->data, frame->linesize, 0, h, planes, strides);
        return CGImageCreate(static_cast<size_t>(w), static_cast<size_t>(h), 8, rowBytes, CGColorSpaceCreateDeviceRGB(),
                             kCGImageAlphaPremultipliedLast, std::move(pixels));
    }

    void seek(double seconds) {
        const auto ts = static_cast<int64_t>(std::floor((seconds + start) / av_q2d(timeBase)));
        av_seek_frame(format.get(), index, ts, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(decoder.get());
        flushing = false;
    }
};

namespace {

// A device named by its path alone is a V4L2 camera.
std::string deviceSource(std::string source, bool device) {
    if (device && !isDeviceInput(source)) return "v4l2:" + source;
    return source;
}

}  // namespace

MovieDecoder::MovieDecoder(std::string source, Options options)
    : source_(deviceSource(std::move(source), options.device)), options_(options), thread_([this] { run(); }) {}

MovieDecoder::~MovieDecoder() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    // A device read blocks for at most the device's frame time; the
    // demuxer's interrupt callback ends anything longer.
    thread_.join();
}

std::string MovieDecoder::error(uint64_t* serial) const {
    std::lock_guard lock(mutex_);
    if (serial) *serial = errorSerial_;
    return error_;
}

double MovieDecoder::duration() const {
    std::lock_guard lock(mutex_);
    return duration_;
}

double MovieDecoder::frameRate() const {
    std::lock_guard lock(mutex_);
    return frameRate_;
}

std::shared_ptr<const DecodedSound> MovieDecoder::sound() const {
    std::lock_guard lock(mutex_);
    return sound_;
}

void MovieDecoder::fail(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (why != error_ || state_ != State::Failed) ++errorSerial_;
        error_ = why;
        newest_.reset();
        state_ = State::Failed;
    }
    changed_.notify_all();
}

bool MovieDecoder::open(Stream& stream) {
    std::string why;
    AVDictionary* deviceOptions = nullptr;
    std::string format;
    if (isDeviceInput(source_, &format) && format == "v4l2") {
        if (options_.width > 0 && options_.height > 0)
            av_dict_set(&deviceOptions, "video_size",
                        (std::to_string(options_.width) + "x" + std::to_string(options_.height)).c_str(), 0);
        if (options_.rate > 0) av_dict_set(&deviceOptions, "framerate", std::to_string(options_.rate).c_str(), 0);
    }
    stream.format = openMediaInput(source_, &why, &deviceOptions);
    av_dict_free(&deviceOptions);
    if (!stream.format) return fail(why), false;
    stream.format->interrupt_callback = AVIOInterruptCB{[](void* self) {
                                                            return static_cast<MovieDecoder*>(self)->stopping_.load() ? 1 : 0;
                                                        },
                                                        this};
    const AVCodec* codec = nullptr;
    stream.index = av_find_best_stream(stream.format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream.index < 0 || codec == nullptr)
        return fail(source_ + (stream.index == AVERROR_DECODER_NOT_FOUND ? ": no decoder for its video"
                                                                          : ": has no video stream")),
               false;
    AVStream* video = stream.format->streams[stream.index];
    for (unsigned i = 0; i < stream.format->nb_streams; ++i)
        if (static_cast<int>(i) != stream.index) stream.format->streams[i]->discard = AVDISCARD_ALL;
    stream.decoder.reset(avcodec_alloc_context3(codec));
    if (!stream.decoder || avcodec_parameters_to_context(stream.decoder.get(), video->codecpar) < 0)
        return fail(source_ + ": cannot open a decoder for its video"), false;
    stream.decoder->thread_count = 0;  // as many as FFmpeg finds useful
    if (avcodec_open2(stream.decoder.get(), codec, nullptr) < 0)
        return fail(source_ + ": cannot open a decoder for its video"), false;
    stream.timeBase = video->time_base;
    stream.start = video->start_time != AV_NOPTS_VALUE ? static_cast<double>(video->start_time) * av_q2d(video->time_base) : 0;
    std::lock_guard lock(mutex_);
    const AVRational rate = av_guess_frame_rate(stream.format.get(), video, nullptr);
    frameRate_ = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
    duration_ = 0;
    if (!options_.device) {
        if (video->duration != AV_NOPTS_VALUE && video->duration > 0)
            duration_ = static_cast<double>(video->duration) * av_q2d(video->time_base);
        else if (stream.format->duration != AV_NOPTS_VALUE && stream.format->duration > 0)
            duration_ = static_cast<double>(stream.format->duration) / AV_TIME_BASE;
    }
    return true;
}

void MovieDecoder::run() {
    if (options_.device) {
        while (!stopping_) {
            Stream stream;
            if (open(stream)) runDevice(stream);
            // Try again in a second: the device may come back.
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_.load(); });
        }
        return;
    }
    Stream stream;
    if (open(stream)) runFile(stream);
}

void MovieDecoder::runDevice(Stream& stream) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point began{};
    double firstTime = 0;
    bool first = true;
    double time = 0;
    CGImageRef image;
    while (!stopping_) {
        if (!stream.next(time, image)) {
            if (!stopping_) fail(source_ + ": stopped delivering pictures");
            return;
        }
        // A virtual source (lavfi) delivers as fast as it is read: keep it
        // to its own clock, as a camera keeps itself.
        if (first) {
            first = false;
            began = Clock::now();
            firstTime = time;
        }
        {
            std::unique_lock lock(mutex_);
            newest_ = std::move(image);
            state_ = State::Ready;
            const auto due = began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(time - firstTime));
            changed_.notify_all();
            changed_.wait_until(lock, due, [this] { return stopping_.load(); });
        }
        decoded_.fetch_add(1, std::memory_order_relaxed);
    }
}

void MovieDecoder::runFile(Stream& stream) {
    double lastDecoded = kNoTime;  // time of the newest picture decoded
    double firstTime = 0;          // of the file's first picture: nothing shows before it
    bool knowFirst = false, soundDone = options_.soundRate <= 0;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const double target = knowFirst ? std::max(target_, firstTime) : target_;
        while (queue_.size() >= 2 && queue_[1].time <= target + kEpsilon) queue_.pop_front();
        const double haveFrom = queue_.empty() ? lastDecoded : queue_.front().time;
        const bool behind = knowFirst && haveFrom != kNoTime && target + kEpsilon < haveFrom;
        const bool farAhead = knowFirst && lastDecoded != kNoTime && target > lastDecoded + kSeekAheadSeconds && !ended_;
        if (behind || farAhead) {
            queue_.clear();
            ended_ = false;
            lastDecoded = kNoTime;
            lock.unlock();
            stream.seek(target);
            lock.lock();
            continue;
        }
        size_t ahead = 0;
        for (const Picture& p : queue_) ahead += p.time > target + kEpsilon;
        if ((ended_ || ahead >= kAhead) && !soundDone) {
            // The sound is decoded once the first pictures can be shown.
            lock.unlock();
            std::string ignored;
            auto sound = SoundFileDecoder::decode(source_, options_.soundRate, &ignored, false);
            lock.lock();
            sound_ = std::move(sound);
            soundDone = soundFinished_ = true;
            changed_.notify_all();
            continue;
        }
        if (ended_ || ahead >= kAhead) {
            const uint64_t serial = targetSerial_;
            changed_.wait(lock, [&] { return stopping_ || targetSerial_ != serial; });
            continue;
        }
        lock.unlock();
        double time = 0;
        CGImageRef image;
        const bool got = stream.next(time, image);
        lock.lock();
        if (!got) {
            ended_ = true;
            if (!knowFirst) {
                lock.unlock();
                fail(source_ + ": has no picture that can be decoded");
                return;
            }
        } else {
            if (!knowFirst) {
                knowFirst = haveFirst_ = true;
                firstTime = firstTime_ = time;
            }
            lastDecoded = time;
            queue_.push_back({time, std::move(image)});
            decoded_.fetch_add(1, std::memory_order_relaxed);
            state_ = State::Ready;
        }
        changed_.notify_all();
    }
}

CGImageRef MovieDecoder::pictureAt(double seconds, bool wait) {
    std::unique_lock lock(mutex_);
    if (options_.device) return newest_;
    if (!std::isfinite(seconds)) seconds = 0;
    if (seconds != target_) {
        target_ = seconds;
        ++targetSerial_;
        changed_.notify_all();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (true) {
        while (queue_.size() >= 2 && queue_[1].time <= seconds + kEpsilon) queue_.pop_front();
        // The front is the picture for this time once the one after it is
        // known to come later (or there is none after it).
        const bool exact = !queue_.empty() && (queue_.size() >= 2 || ended_) &&
                           (queue_.front().time <= seconds + kEpsilon || (haveFirst_ && seconds < firstTime_));
        // Waiting, the sound is waited for too, so it starts with the pictures.
        const bool complete = exact && (!wait || soundFinished_ || options_.soundRate <= 0);
        if (complete || state_ == State::Failed) return exact ? queue_.front().image : nullptr;
        if (!wait) return !queue_.empty() && queue_.front().time <= seconds + kEpsilon ? queue_.front().image : nullptr;
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout)
            return queue_.empty() ? nullptr : queue_.front().image;
    }
}
