#include "platform/media/VideoFileWriter.h"

#include "platform/media/EncodedStream.h"
#include "platform/media/FFmpegOutputResources.h"
#include "platform/media/FileOutput.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <vector>

namespace {

struct Container {
    const char* extension;
    const char* muxer;
    const char* videoEncoder;
    const char* audioEncoder;
};

constexpr Container kContainers[] = {
    {".mp4", "mp4", "libx264", "aac"},
    {".mov", "mov", "libx264", "aac"},
    {".mkv", "matroska", "ffv1", "flac"},
};

const Container* containerFor(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const Container& container : kContainers)
        if (extension == container.extension) return &container;
    return nullptr;
}

// The first of `wanted` that `supported` (ending in `none`) lists.
template <typename Format>
Format firstSupported(const Format* supported, std::initializer_list<Format> wanted, Format none) {
    for (Format format : wanted)
        for (const Format* s = supported; s != nullptr && *s != none; ++s)
            if (*s == format) return format;
    return none;
}

}  // namespace

struct VideoFileWriter::Impl {
    std::string path;
    int width = 0, height = 0;  // as given; the encoder's may be padded
    std::unique_ptr<FileOutput> file;  // before the output, which writes through it
    OutputContextPtr output;
    EncodedStream video, audio;
    AVRational videoTimeBase{};
    FramePtr picture;             // in the encoder's pixel format
    SwsContextPtr converter;      // RGBA at the encoder's size to its pixel format
    std::vector<uint8_t> canvas;  // RGBA at the encoder's size, for pictures not handed over as they are
    SwsContextPtr fitter;         // a picture of another size onto the canvas
    long frames = 0;
    long nextIndex = 0;  // the pictures so far cover frames 0 to nextIndex - 1
    bool live = false;
    int64_t lastPts = -1;  // live: of the last picture, in the video time base
    int64_t period = 1;    // live: a frame at the expected rate, in the video time base

    bool hasAudio = false;
    int sampleRate = 0;
    AudioFifoPtr fifo;  // interleaved float stereo not yet encoded
    SwrContextPtr resampler;
    FramePtr sound;  // one encoder frame of sound, in the encoder's format
    int soundFrameSize = 0;
    int roundToBits = 0;  // integer encoders: samples rounded to this many bits first
    std::vector<float> block;
    int64_t samplesEncoded = 0;

    std::string failure;  // the first error; the recording is over
    bool started = false;  // the header is written
    bool finished = false;
    int64_t finalSize = 0;

    ~Impl() { discard(); }

    // Closes and drops the partial file.
    void discard() {
        output.reset();
        file.reset();
    }

    bool fail(std::string* error, const std::string& why) {
        if (failure.empty()) {
            failure = "cannot record to " + path + ": " + why;
            if (started) failure += " (recording stopped, no file kept)";
            discard();
        }
        if (error) *error = failure;
        return false;
    }
    bool fail(std::string* error, const std::string& what, int code) {
        return fail(error, what.empty() ? ffmpegErrorText(code) : what + ": " + ffmpegErrorText(code));
    }

    bool usable(std::string* error) {
        if (!failure.empty()) return fail(error, failure);
        if (finished) return fail(error, "the recording is already finished");
        return true;
    }

    void pad(const Picture& given);
    bool fit(const Picture& given);
    bool encodePicture(const Picture& given, int64_t pts, const std::string& name, std::string* error);
    bool openVideo(const Container& container, double fps, int quality, std::string* error);
    bool openAudio(const Container& container, std::string* error);
    bool encodeSound(bool last, std::string* error);
};

bool VideoFileWriter::Impl::openVideo(const Container& container, double fps, int quality, std::string* error) {
    const AVCodec* codec = avcodec_find_encoder_by_name(container.videoEncoder);
    if (codec == nullptr)
        return fail(error, std::string("this FFmpeg has no ") + container.videoEncoder +
                               " encoder (it comes with Debian's libavcodec)");
    // FFV1 keeps the alpha byte too when it can; H.264 needs 4:2:0 for players.
    const AVPixelFormat format =
        firstSupported(codec->pix_fmts, {AV_PIX_FMT_BGRA, AV_PIX_FMT_BGR0, AV_PIX_FMT_YUV420P}, AV_PIX_FMT_NONE);
    if (format == AV_PIX_FMT_NONE) return fail(error, std::string(container.videoEncoder) + " takes no RGB or yuv420p");
    const bool halfChroma = format == AV_PIX_FMT_YUV420P;

    video.encoder.reset(avcodec_alloc_context3(codec));
    if (!video.encoder) return fail(error, "", AVERROR(ENOMEM));
    AVCodecContext& c = *video.encoder;
    c.width = halfChroma ? (width + 1) & ~1 : width;
    c.height = halfChroma ? (height + 1) & ~1 : height;
    c.pix_fmt = format;
    c.framerate = av_d2q(fps, 100000);
    // Live pictures keep their own times: in milliseconds, all Matroska
    // keeps, or in MP4's usual 1/90000 s.
    const bool milliseconds = std::strcmp(container.muxer, "matroska") == 0;
    c.time_base = live ? AVRational{1, milliseconds ? 1000 : 90000} : av_inv_q(c.framerate);
    videoTimeBase = c.time_base;
    period = live ? std::max<int64_t>(1, av_rescale_q(1, av_inv_q(c.framerate), c.time_base)) : 1;
    if (halfChroma) {
        // What swscale's RGB to YUV conversion does, said in the file.
        c.colorspace = AVCOL_SPC_SMPTE170M;
        c.color_range = AVCOL_RANGE_MPEG;
        c.color_primaries = AVCOL_PRI_BT709;
        c.color_trc = AVCOL_TRC_IEC61966_2_1;
    }
    if (std::strcmp(container.videoEncoder, "libx264") == 0) {
        av_opt_set_double(c.priv_data, "crf", quality, 0);
        av_opt_set(c.priv_data, "preset", "veryfast", 0);
    }
    video.packetDuration = period;
    if (int result = video.open(output.get(), codec); result < 0)
        return fail(error, std::string("cannot open the ") + container.videoEncoder + " encoder", result);

    picture.reset(av_frame_alloc());
    if (!picture) return fail(error, "", AVERROR(ENOMEM));
    picture->format = c.pix_fmt;
    picture->width = c.width;
    picture->height = c.height;
    if (int result = av_frame_get_buffer(picture.get(), 0); result < 0) return fail(error, "", result);
    converter.reset(sws_getContext(c.width, c.height, AV_PIX_FMT_RGBA, c.width, c.height, c.pix_fmt,
                                   SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    if (!converter) return fail(error, "cannot convert RGBA pictures for the video encoder");
    return true;
}

bool VideoFileWriter::Impl::openAudio(const Container& container, std::string* error) {
    const AVCodec* codec = avcodec_find_encoder_by_name(container.audioEncoder);
    if (codec == nullptr)
        return fail(error, std::string("this FFmpeg has no ") + container.audioEncoder +
                               " encoder (it comes with Debian's libavcodec)");
    const AVSampleFormat format = firstSupported(
        codec->sample_fmts, {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_S16},
        AV_SAMPLE_FMT_NONE);
    if (format == AV_SAMPLE_FMT_NONE)
        return fail(error, std::string(container.audioEncoder) + " takes no known sample format");

    audio.encoder.reset(avcodec_alloc_context3(codec));
    if (!audio.encoder) return fail(error, "", AVERROR(ENOMEM));
    AVCodecContext& c = *audio.encoder;
    c.sample_fmt = format;
    c.sample_rate = sampleRate;
    c.ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    c.time_base = AVRational{1, sampleRate};
    c.bit_rate = 192000;  // what lossy encoders aim at; FLAC ignores it
    if (format == AV_SAMPLE_FMT_S32) c.bits_per_raw_sample = roundToBits = 24;
    if (format == AV_SAMPLE_FMT_S16) roundToBits = 16;
    if (int result = audio.open(output.get(), codec); result < 0)
        return fail(error, std::string("cannot open the ") + container.audioEncoder + " encoder", result);

    const bool anySize = (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || c.frame_size <= 0;
    soundFrameSize = anySize ? 1024 : c.frame_size;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;  // FFmpeg 5 takes it non-const
    SwrContext* made = nullptr;
    int result = swr_alloc_set_opts2(&made, &stereo, format, sampleRate, &stereo, AV_SAMPLE_FMT_FLT, sampleRate, 0,
                                     nullptr);
    resampler.reset(made);
    if (result >= 0) result = swr_init(made);
    if (result < 0) return fail(error, "cannot convert sound for the audio encoder", result);
    fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLT, 2, soundFrameSize * 4));
    sound.reset(av_frame_alloc());
    if (!fifo || !sound) return fail(error, "", AVERROR(ENOMEM));
    sound->format = format;
    sound->sample_rate = sampleRate;
    sound->nb_samples = soundFrameSize;
    av_channel_layout_copy(&sound->ch_layout, &stereo);
    if (result = av_frame_get_buffer(sound.get(), 0); result < 0) return fail(error, "", result);
    block.resize(static_cast<size_t>(soundFrameSize) * 2);
    hasAudio = true;
    return true;
}

// Encodes queued sound up to the time the pictures written so far cover:
// whole encoder frames while recording; at the end, exactly up to that time,
// padded with silence.
bool VideoFileWriter::Impl::encodeSound(bool last, std::string* error) {
    // Live, everything queued; otherwise as far as the pictures reach.
    const int64_t target =
        live ? samplesEncoded + av_audio_fifo_size(fifo.get())
             : av_rescale_q_rnd(nextIndex, videoTimeBase, AVRational{1, sampleRate}, AV_ROUND_NEAR_INF);
    for (;;) {
        const int64_t remaining = target - samplesEncoded;
        const int queued = av_audio_fifo_size(fifo.get());
        int count = soundFrameSize;
        if (!last && (queued < count || remaining < count)) return true;
        if (last) {
            count = static_cast<int>(std::min<int64_t>(count, remaining));
            if (count <= 0) break;
        }
        float* samples = block.data();
        const int read = av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(&samples), count);
        std::fill(block.begin() + std::max(read, 0) * 2, block.begin() + count * 2, 0.0f);
        if (roundToBits > 0) {
            // Rounded to the nearest step the encoder keeps, so the file holds
            // exactly these values (the encoder would otherwise cut the low bits).
            const float scale = static_cast<float>(1 << (roundToBits - 1));
            for (float& sample : std::span(block.data(), static_cast<size_t>(count) * 2)) {
                const float step = std::isnan(sample) ? 0.0f : std::nearbyint(sample * scale);
                sample = std::clamp(step, -scale, scale - 1) / scale;
            }
        }
        if (int result = av_frame_make_writable(sound.get()); result < 0) return fail(error, "", result);
        const uint8_t* in = reinterpret_cast<const uint8_t*>(block.data());
        const int converted = swr_convert(resampler.get(), sound->data, count, &in, count);
        if (converted != count) return fail(error, "cannot convert sound", converted < 0 ? converted : AVERROR_BUG);
        sound->nb_samples = count;
        sound->pts = samplesEncoded;
        if (int result = audio.encode(output.get(), sound.get()); result < 0)
            return fail(error, "cannot encode sound", result);
        samplesEncoded += count;
    }
    av_audio_fifo_reset(fifo.get());  // sound beyond the last picture
    return true;
}

VideoFileWriter::VideoFileWriter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
VideoFileWriter::~VideoFileWriter() = default;

bool VideoFileWriter::checkExtension(const std::string& path, std::string* error) {
    if (containerFor(path)) return true;
    if (error) {
        const std::string extension = std::filesystem::path(path).extension().string();
        *error = "cannot record to " + path + ": " +
                 (extension.empty() ? std::string("no extension") : "unknown extension \"" + extension + "\"") +
                 "; use .mp4 or .mov (H.264 and AAC) or .mkv (lossless FFV1 and FLAC)";
    }
    return false;
}

bool VideoFileWriter::checkTarget(const std::string& path, std::string* error) {
    if (FileOutput::checkTarget(path, error)) return true;
    if (error) *error = "cannot record to " + path + ": " + *error;
    return false;
}

bool VideoFileWriter::checkWritable(const std::string& path, std::string* error) {
    if (!checkTarget(path, error)) return false;
    if (FileOutput::create(path, error)) return true;
    if (error) *error = "cannot record to " + path + ": " + *error;
    return false;
}

std::unique_ptr<VideoFileWriter> VideoFileWriter::open(const Settings& settings, std::string* error) {
    if (!checkExtension(settings.path, error)) return nullptr;
    // Failures come back as one line; the encoders' statistics would only
    // interleave with the host's own output.
    if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
    const Container& container = *containerFor(settings.path);
    auto impl = std::make_unique<Impl>();
    impl->path = settings.path;
    impl->live = settings.live;
    impl->width = settings.width;
    impl->height = settings.height;
    impl->sampleRate = settings.sampleRate;
    if (settings.width <= 0 || settings.height <= 0 || settings.width > 16384 || settings.height > 16384) {
        impl->fail(error, "a picture of " + std::to_string(settings.width) + "x" + std::to_string(settings.height) +
                              " cannot be recorded (1 to 16384 pixels each way)");
        return nullptr;
    }
    if (!(settings.fps >= 1e-3 && settings.fps <= 1e6) || settings.sampleRate < 0 ||
        settings.quality < 0 || settings.quality > 51) {
        impl->fail(error, "a rate of " + std::to_string(settings.fps) + " frames per second, " +
                              std::to_string(settings.sampleRate) + " Hz sound or quality " +
                              std::to_string(settings.quality) + " cannot be recorded");
        return nullptr;
    }

    AVFormatContext* made = nullptr;
    if (int result = avformat_alloc_output_context2(&made, nullptr, container.muxer, settings.path.c_str());
        result < 0) {
        impl->fail(error, "", result);
        return nullptr;
    }
    impl->output.reset(made);
    if (!impl->openVideo(container, settings.fps, settings.quality, error)) return nullptr;
    if (settings.sampleRate > 0 && !impl->openAudio(container, error)) return nullptr;
    if (!(made->oformat->flags & AVFMT_NOFILE)) {
        std::string why;
        if (!FileOutput::checkTarget(settings.path, &why) || !(impl->file = FileOutput::create(settings.path, &why))) {
            impl->fail(error, why);
            return nullptr;
        }
        made->pb = impl->file->io();
        made->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    if (int result = avformat_write_header(made, nullptr); result < 0) {
        impl->fail(error, "cannot write the header", result);
        return nullptr;
    }
    impl->started = true;
    return std::unique_ptr<VideoFileWriter>(new VideoFileWriter(std::move(impl)));
}

// Grown by repeating the last column and row: a dark edge would bleed into
// the colour of the picture's own last row and column.
void VideoFileWriter::Impl::pad(const Picture& given) {
    const int w = picture->width, h = picture->height;
    const size_t bytes = static_cast<size_t>(w) * 4;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = canvas.data() + bytes * static_cast<size_t>(y);
        const uint8_t* from = given.rgba + static_cast<std::ptrdiff_t>(std::min(y, height - 1)) * given.rowBytes;
        std::memcpy(row, from, static_cast<size_t>(width) * 4);
        for (int x = width; x < w; ++x) std::memcpy(row + x * 4, from + (width - 1) * 4, 4);
    }
}

// Scaled to the largest centred rectangle of its shape, between black bars.
bool VideoFileWriter::Impl::fit(const Picture& given) {
    const double scale = std::min(static_cast<double>(width) / given.width, static_cast<double>(height) / given.height);
    const int w = std::clamp(static_cast<int>(std::lround(given.width * scale)), 1, width);
    const int h = std::clamp(static_cast<int>(std::lround(given.height * scale)), 1, height);
    fitter.reset(sws_getCachedContext(fitter.release(), given.width, given.height, AV_PIX_FMT_RGBA, w, h,
                                      AV_PIX_FMT_RGBA, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!fitter) return false;
    for (size_t i = 0; i < canvas.size(); i += 4) canvas[i] = canvas[i + 1] = canvas[i + 2] = 0, canvas[i + 3] = 255;
    const int stride = picture->width * 4;
    uint8_t* target = canvas.data() + static_cast<std::ptrdiff_t>((height - h) / 2) * stride + (width - w) / 2 * 4;
    const int givenStride = static_cast<int>(given.rowBytes);
    sws_scale(fitter.get(), &given.rgba, &givenStride, 0, given.height, &target, &stride);
    return true;
}

bool VideoFileWriter::Impl::encodePicture(const Picture& given, int64_t pts, const std::string& name,
                                          std::string* error) {
    if (given.rgba == nullptr || given.width <= 0 || given.height <= 0 || given.width > 16384 || given.height > 16384)
        return fail(error, name + " has no picture");
    Picture shown = given;
    if (shown.rowBytes == 0) shown.rowBytes = static_cast<std::ptrdiff_t>(shown.width) * 4;
    const uint8_t* source = shown.rgba;
    int stride = static_cast<int>(shown.rowBytes);
    const bool sameSize = shown.width == width && shown.height == height;
    if (!sameSize || picture->width != width || picture->height != height) {
        canvas.resize(static_cast<size_t>(picture->width) * picture->height * 4);
        if (sameSize) pad(shown);
        else if (!fit(shown)) return fail(error, "cannot scale " + name);
        source = canvas.data();
        stride = picture->width * 4;
    }
    if (int result = av_frame_make_writable(picture.get()); result < 0) return fail(error, "", result);
    sws_scale(converter.get(), &source, &stride, 0, picture->height, picture->data, picture->linesize);
    picture->pts = pts;
    if (int result = video.encode(output.get(), picture.get()); result < 0)
        return fail(error, "cannot encode " + name, result);
    ++frames;
    return !hasAudio || encodeSound(false, error);
}

bool VideoFileWriter::writeVideo(long index, const Picture& given, std::string* error) {
    Impl& s = *impl_;
    if (!s.usable(error)) return false;
    if (s.live) return s.fail(error, "a live recording takes pictures with their times");
    if (index < s.nextIndex)
        return s.fail(error,
                      "frame " + std::to_string(index) + " comes after frame " + std::to_string(s.nextIndex - 1));
    s.nextIndex = index + 1;  // before the sound is encoded up to it
    return s.encodePicture(given, index, "frame " + std::to_string(index), error);
}

bool VideoFileWriter::writeVideoAt(double seconds, const Picture& given, std::string* error) {
    Impl& s = *impl_;
    if (!s.usable(error)) return false;
    if (!s.live) return s.fail(error, "a recording of a fixed rate takes pictures by frame number");
    char name[64];
    std::snprintf(name, sizeof name, "the picture at %.3f s", seconds);
    if (!(seconds >= 0 && seconds < 1e9)) return s.fail(error, std::string(name) + " is out of time");
    const int64_t pts = s.lastPts < 0 ? 0 : std::llround(seconds * s.videoTimeBase.den / s.videoTimeBase.num);
    if (pts <= s.lastPts) return true;  // within one step of the picture before: it never showed
    s.lastPts = pts;
    return s.encodePicture(given, pts, name, error);
}

bool VideoFileWriter::writeAudio(const float* stereo, size_t frames, std::string* error) {
    Impl& s = *impl_;
    if (!s.usable(error)) return false;
    if (!s.hasAudio || frames == 0) return true;
    void* data = const_cast<float*>(stereo);
    const int count = frames > INT32_MAX ? -1 : static_cast<int>(frames);
    if (count < 0 || av_audio_fifo_write(s.fifo.get(), &data, count) != count)
        return s.fail(error, "", AVERROR(ENOMEM));
    return s.encodeSound(false, error);
}

bool VideoFileWriter::finish(std::string* error) {
    Impl& s = *impl_;
    if (s.finished && s.failure.empty()) return true;
    if (!s.usable(error)) return false;
    if (s.hasAudio && !s.encodeSound(true, error)) return false;
    if (s.live && s.hasAudio && s.frames > 0) {
        // The last picture stays on while the sound goes on: shown again
        // a frame before the end, so that both tracks end together.
        const int64_t end = av_rescale_q(s.samplesEncoded, AVRational{1, s.sampleRate}, s.videoTimeBase);
        if (end - s.period > s.lastPts) {
            s.lastPts = s.picture->pts = end - s.period;
            if (int result = s.video.encode(s.output.get(), s.picture.get()); result < 0)
                return s.fail(error, "cannot encode the last picture", result);
        }
    }
    if (int result = s.video.encode(s.output.get(), nullptr); result < 0)
        return s.fail(error, "cannot encode the last frames", result);
    if (s.hasAudio)
        if (int result = s.audio.encode(s.output.get(), nullptr); result < 0)
            return s.fail(error, "cannot encode the last sound", result);
    if (int result = av_write_trailer(s.output.get()); result < 0)
        return s.fail(error, "cannot write the trailer", result);
    std::string why;
    if (s.file && !s.file->commit(&why)) return s.fail(error, why);
    s.discard();  // closes what is now the file, in its place
    s.finished = true;
    std::error_code unknown;
    s.finalSize = static_cast<int64_t>(std::filesystem::file_size(s.path, unknown));
    return true;
}

long VideoFileWriter::framesWritten() const { return impl_->frames; }

int64_t VideoFileWriter::bytesWritten() const {
    if (impl_->finished) return impl_->finalSize;
    return impl_->output && impl_->output->pb ? avio_tell(impl_->output->pb) : 0;
}

bool VideoFileWriter::hasAudio() const { return impl_->hasAudio; }
const std::string& VideoFileWriter::path() const { return impl_->path; }
