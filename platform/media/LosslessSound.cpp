#include "platform/media/LosslessSound.h"

#include "platform/media/FFmpegResources.h"

extern "C" {
#include <libavutil/base64.h>
#include <libavutil/channel_layout.h>
}

struct LosslessSoundEncoder::Codec {
    CodecContextPtr context;
    FramePtr frame;
    PacketPtr packet;
};

namespace {

CodecContextPtr openCodec(bool encoder, int sampleRate, std::string* error) {
    const AVCodec* codec = encoder ? avcodec_find_encoder(AV_CODEC_ID_WAVPACK) : avcodec_find_decoder(AV_CODEC_ID_WAVPACK);
    CodecContextPtr context(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!context) {
        if (error) *error = std::string("FFmpeg has no WavPack ") + (encoder ? "encoder" : "decoder");
        return nullptr;
    }
    context->sample_rate = sampleRate;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    if (encoder) context->frame_size = LosslessSoundEncoder::kPacketFrames;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        if (error) *error = "FFmpeg's WavPack codec refuses stereo float at " + std::to_string(sampleRate) + " Hz";
        return nullptr;
    }
    return context;
}

std::string base64(const AVPacket& packet) {
    std::string text(AV_BASE64_SIZE(packet.size), '\0');
    av_base64_encode(text.data(), static_cast<int>(text.size()), packet.data, packet.size);
    text.resize(text.find('\0'));
    return text;
}

}  // namespace

std::unique_ptr<LosslessSoundEncoder> LosslessSoundEncoder::create(int sampleRate, std::string* error) {
    auto codec = std::make_unique<Codec>();
    codec->context = openCodec(true, sampleRate, error);
    if (!codec->context) return nullptr;
    codec->frame.reset(av_frame_alloc());
    codec->packet.reset(av_packet_alloc());
    if (!codec->frame || !codec->packet) {
        if (error) *error = "out of memory for the sound encoder";
        return nullptr;
    }
    return std::unique_ptr<LosslessSoundEncoder>(new LosslessSoundEncoder(std::move(codec)));
}

LosslessSoundEncoder::LosslessSoundEncoder(std::unique_ptr<Codec> codec) : codec_(std::move(codec)) {
    gathering_.reserve(size_t{kPacketFrames} * 2);
}

LosslessSoundEncoder::~LosslessSoundEncoder() = default;

void LosslessSoundEncoder::add(const float* stereo, size_t frames, std::vector<std::string>& packets) {
    const size_t full = size_t{kPacketFrames} * 2;
    for (size_t i = 0; i < frames * 2;) {
        const size_t take = std::min(full - gathering_.size(), frames * 2 - i);
        gathering_.insert(gathering_.end(), stereo + i, stereo + i + take);
        i += take;
        if (gathering_.size() == full) encode(false, packets);
    }
}

void LosslessSoundEncoder::finish(std::vector<std::string>& packets) {
    if (!gathering_.empty()) encode(false, packets);
    encode(true, packets);
}

void LosslessSoundEncoder::encode(bool last, std::vector<std::string>& packets) {
    AVCodecContext* context = codec_->context.get();
    if (!last) {
        AVFrame* frame = codec_->frame.get();
        av_frame_unref(frame);
        frame->nb_samples = static_cast<int>(gathering_.size() / 2);
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = context->sample_rate;
        frame->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
        if (av_frame_get_buffer(frame, 0) < 0) return;
        auto* left = reinterpret_cast<float*>(frame->data[0]);
        auto* right = reinterpret_cast<float*>(frame->data[1]);
        for (int i = 0; i < frame->nb_samples; ++i) {
            left[i] = gathering_[2 * static_cast<size_t>(i)];
            right[i] = gathering_[2 * static_cast<size_t>(i) + 1];
        }
        gathering_.clear();
        if (avcodec_send_frame(context, frame) < 0) return;
    } else if (avcodec_send_frame(context, nullptr) < 0) {
        return;
    }
    while (avcodec_receive_packet(context, codec_->packet.get()) == 0) {
        packets.push_back(base64(*codec_->packet));
        av_packet_unref(codec_->packet.get());
    }
}

bool decodeLosslessSound(const std::vector<std::string>& packets, int sampleRate, std::vector<float>& stereo,
                         std::string* error, size_t* failed) {
    CodecContextPtr context = openCodec(false, sampleRate, error);
    if (!context) return false;
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) {
        if (error) *error = "out of memory for the sound decoder";
        return false;
    }
    for (size_t p = 0; p < packets.size(); ++p) {
        const std::string& text = packets[p];
        const auto fail = [&](const char* why) {
            if (error) *error = "sound packet " + std::to_string(p + 1) + ": " + why;
            if (failed) *failed = p;
            return false;
        };
        if (av_new_packet(packet.get(), static_cast<int>(text.size() * 3 / 4 + 3)) < 0) return fail("out of memory");
        const int size = av_base64_decode(packet->data, text.c_str(), packet->size);
        if (size <= 0) return fail("not base64");
        packet->size = size;
        const int sent = avcodec_send_packet(context.get(), packet.get());
        av_packet_unref(packet.get());
        if (sent < 0) return fail("not WavPack");
        while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
            if (frame->format != AV_SAMPLE_FMT_FLTP || frame->ch_layout.nb_channels != 2) return fail("not stereo float");
            const auto* left = reinterpret_cast<const float*>(frame->data[0]);
            const auto* right = reinterpret_cast<const float*>(frame->data[1]);
            for (int i = 0; i < frame->nb_samples; ++i) {
                stereo.push_back(left[i]);
                stereo.push_back(right[i]);
            }
            av_frame_unref(frame.get());
        }
    }
    return true;
}
