#include "RecordingReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <memory>

namespace {

struct Decoder {
    AVCodecContext* context = nullptr;
    int index = -1;
    ~Decoder() { avcodec_free_context(&context); }
};

bool openDecoder(AVFormatContext* format, AVMediaType type, Decoder& decoder) {
    decoder.index = av_find_best_stream(format, type, -1, -1, nullptr, 0);
    if (decoder.index < 0) return false;
    const AVCodecParameters* parameters = format->streams[decoder.index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    decoder.context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder.context, parameters);
    decoder.context->pkt_timebase = format->streams[decoder.index]->time_base;
    return avcodec_open2(decoder.context, codec, nullptr) == 0;
}

void takePicture(const AVFrame& frame, Recording& out) {
    SwsContext* sws = sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
                                     frame.height, AV_PIX_FMT_RGBA, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr,
                                     nullptr);
    std::vector<uint8_t> rgba(static_cast<size_t>(frame.width) * frame.height * 4);
    uint8_t* planes[1] = {rgba.data()};
    const int strides[1] = {frame.width * 4};
    sws_scale(sws, frame.data, frame.linesize, 0, frame.height, planes, strides);
    sws_freeContext(sws);
    out.pictures.push_back(std::move(rgba));
    if (frame.format != AV_PIX_FMT_YUV420P) return;
    std::vector<uint8_t> yuv;
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? (frame.width + 1) / 2 : frame.width, h = plane ? (frame.height + 1) / 2 : frame.height;
        for (int y = 0; y < h; ++y)
            yuv.insert(yuv.end(), frame.data[plane] + y * frame.linesize[plane],
                       frame.data[plane] + y * frame.linesize[plane] + w);
    }
    out.yuv.push_back(std::move(yuv));
}

void takeSound(const AVFrame& frame, Recording& out) {
    SwrContext* swr = nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO, in{};
    av_channel_layout_copy(&in, &frame.ch_layout);
    swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, frame.sample_rate, &in,
                        static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
    swr_init(swr);
    av_channel_layout_uninit(&in);
    const size_t start = out.sound.size();
    out.sound.resize(start + static_cast<size_t>(frame.nb_samples) * 2);
    auto* target = reinterpret_cast<uint8_t*>(out.sound.data() + start);
    swr_convert(swr, &target, frame.nb_samples, const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
    swr_free(&swr);
}

void drain(Decoder& decoder, AVFrame* frame, Recording& out) {
    while (avcodec_receive_frame(decoder.context, frame) == 0) {
        if (decoder.context->codec_type == AVMEDIA_TYPE_VIDEO) takePicture(*frame, out);
        else takeSound(*frame, out);
        av_frame_unref(frame);
    }
}

}  // namespace

Recording readRecording(const std::string& path) {
    Recording out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(format, nullptr) < 0) {
        out.error = "cannot read " + path;
        avformat_close_input(&format);
        return out;
    }
    Decoder video, audio;
    if (openDecoder(format, AVMEDIA_TYPE_VIDEO, video)) {
        out.videoCodec = video.context->codec->name;
        out.width = video.context->width;
        out.height = video.context->height;
        out.fps = av_q2d(format->streams[video.index]->avg_frame_rate);
    }
    if (openDecoder(format, AVMEDIA_TYPE_AUDIO, audio)) {
        out.audioCodec = audio.context->codec->name;
        out.sampleRate = audio.context->sample_rate;
    }
    out.duration = format->duration == AV_NOPTS_VALUE ? 0 : static_cast<double>(format->duration) / AV_TIME_BASE;

    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    while (av_read_frame(format, packet) >= 0) {
        Decoder* decoder = packet->stream_index == video.index   ? &video
                           : packet->stream_index == audio.index ? &audio
                                                                 : nullptr;
        if (decoder && decoder->context) {
            avcodec_send_packet(decoder->context, packet);
            drain(*decoder, frame, out);
        }
        av_packet_unref(packet);
    }
    for (Decoder* decoder : {&video, &audio})
        if (decoder->context) {
            avcodec_send_packet(decoder->context, nullptr);
            drain(*decoder, frame, out);
        }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return out;
}

namespace {

double psnrOf(double squaredErrors, size_t count) {
    if (count == 0) return 0;
    if (squaredErrors == 0) return INFINITY;
    return 10 * std::log10(255.0 * 255.0 / (squaredErrors / static_cast<double>(count)));
}

}  // namespace

double yuvPSNR(const std::vector<uint8_t>& yuv420p, const std::vector<uint8_t>& rgba, int width, int height) {
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    std::vector<uint8_t> reference(static_cast<size_t>(width) * height + 2 * static_cast<size_t>(cw) * ch);
    if (yuv420p.size() != reference.size() || rgba.size() != static_cast<size_t>(width) * height * 4) return 0;
    SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_RGBA, width, height, AV_PIX_FMT_YUV420P,
                                     SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    const uint8_t* in[1] = {rgba.data()};
    const int inStride[1] = {width * 4};
    uint8_t* planes[3] = {reference.data(), reference.data() + width * height,
                          reference.data() + width * height + cw * ch};
    const int strides[3] = {width, cw, cw};
    sws_scale(sws, in, inStride, 0, height, planes, strides);
    sws_freeContext(sws);
    double sum = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        const double d = double(reference[i]) - double(yuv420p[i]);
        sum += d * d;
    }
    return psnrOf(sum, reference.size());
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    size_t count = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (i % 4 == 3) continue;
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
        ++count;
    }
    return a.size() == b.size() ? psnrOf(sum, count) : 0;
}
