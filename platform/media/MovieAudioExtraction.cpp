#include "MovieAudioExtraction.h"

#include "FFmpegResources.h"
#include "StereoResampler.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

struct MovieAudioExtractionSession {
    const MovieRecord* movie = nullptr;
    CodecContextPtr decoder;
    PacketPtr packet;
    FramePtr frame;
    AudioStreamBasicDescription description{};
    bool outputSet = false;

    // Made for the first decoded frame; made again if a later frame's format,
    // rate or channel layout differs.
    SwrContextPtr resampler;
    AVChannelLayout resamplerLayout{};
    int resamplerRate = 0;
    int resamplerFormat = AV_SAMPLE_FMT_NONE;

    bool inputEnded = false;      // every packet handed to the decoder, flush requested
    bool decoderDrained = false;  // the decoder has given its last frame
    bool complete = false;        // the resampler is empty too

    ~MovieAudioExtractionSession() { av_channel_layout_uninit(&resamplerLayout); }
};

void MovieAudioExtractionSessionEnder::operator()(MovieAudioExtractionSession* session) const {
    std::default_delete<MovieAudioExtractionSession>()(session);
}

namespace {

constexpr uint32_t kComponentPropertyFlagCanGetNow = 1;
constexpr uint32_t kComponentPropertyFlagCanSetNow = 2;
// Planar sample formats: one buffer per channel.
constexpr uint32_t kNonInterleavedFormatFlag = 1u << 5;

// The decoder's own output, as the extraction would deliver it unconverted.
AudioStreamBasicDescription describeDecoderOutput(const AVCodecContext& decoder) {
    const AVSampleFormat format = decoder.sample_fmt;
    const uint32_t bytes = format == AV_SAMPLE_FMT_NONE ? 0 : static_cast<uint32_t>(av_get_bytes_per_sample(format));
    const bool planar = format != AV_SAMPLE_FMT_NONE && av_sample_fmt_is_planar(format);
    const uint32_t channels = static_cast<uint32_t>(std::max(decoder.ch_layout.nb_channels, 0));

    AudioStreamBasicDescription description{};
    description.mSampleRate = decoder.sample_rate;
    description.mFormatID = kAudioFormatLinearPCM;
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_DBL: description.mFormatFlags = kAudioFormatFlagIsFloat; break;
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_S64: description.mFormatFlags = kAudioFormatFlagIsSignedInteger; break;
    default: break;
    }
    description.mFormatFlags |= kAudioFormatFlagIsPacked;
    if (planar) description.mFormatFlags |= kNonInterleavedFormatFlag;
    description.mBytesPerFrame = planar ? bytes : bytes * channels;
    description.mBytesPerPacket = description.mBytesPerFrame;
    description.mFramesPerPacket = 1;
    description.mChannelsPerFrame = channels;
    description.mBitsPerChannel = bytes * 8;
    return description;
}

AudioChannelLayout describeChannelLayout(const AVCodecContext& decoder) {
    const auto channels = static_cast<uint32_t>(std::max(decoder.ch_layout.nb_channels, 0));
    AudioChannelLayout layout{};
    layout.mChannelLayoutTag = channels == 1   ? kAudioChannelLayoutTag_Mono
                               : channels == 2 ? kAudioChannelLayoutTag_Stereo
                                               : kAudioChannelLayoutTag_DiscreteInOrder | channels;
    return layout;
}

bool isInterleavedFloatStereo(const AudioStreamBasicDescription& d) {
    constexpr uint32_t kind = kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger |
                              kNonInterleavedFormatFlag;
    return d.mFormatID == kAudioFormatLinearPCM && (d.mFormatFlags & kind) == kAudioFormatFlagIsFloat &&
           d.mChannelsPerFrame == 2 && d.mBitsPerChannel == 32 && d.mBytesPerFrame == 8 && d.mBytesPerPacket == 8 &&
           d.mFramesPerPacket <= 1 && std::isfinite(d.mSampleRate) && d.mSampleRate >= 1.0 && d.mSampleRate <= INT_MAX;
}

// A resampler from the frame's format to the session's output.
int prepareResampler(MovieAudioExtractionSession& session, const AVFrame& frame) {
    if (session.resampler && frame.format == session.resamplerFormat && frame.sample_rate == session.resamplerRate &&
        av_channel_layout_compare(&frame.ch_layout, &session.resamplerLayout) == 0)
        return 0;
    if (frame.ch_layout.nb_channels <= 0 || frame.sample_rate <= 0) return AVERROR_INVALIDDATA;

    int result = 0;
    SwrContextPtr resampler =
        makeStereoResampler(frame.ch_layout, static_cast<AVSampleFormat>(frame.format), frame.sample_rate,
                            static_cast<int>(std::lround(session.description.mSampleRate)), &result);
    if (!resampler) return result;

    session.resampler = std::move(resampler);
    av_channel_layout_uninit(&session.resamplerLayout);
    av_channel_layout_copy(&session.resamplerLayout, &frame.ch_layout);
    session.resamplerRate = frame.sample_rate;
    session.resamplerFormat = frame.format;
    return 0;
}

// Hands the decoder the next packet of the audio stream, or asks it to
// flush at the end of the file. A read error counts as the end: a truncated
// file gives what it has. A packet the decoder rejects is skipped.
void feedDecoder(MovieAudioExtractionSession& session) {
    AVFormatContext* format = session.movie->format.get();
    AVPacket* packet = session.packet.get();
    for (;;) {
        if (av_read_frame(format, packet) < 0) {
            avcodec_send_packet(session.decoder.get(), nullptr);
            session.inputEnded = true;
            return;
        }
        const bool audio = packet->stream_index == session.movie->audioStream;
        if (audio) avcodec_send_packet(session.decoder.get(), packet);
        av_packet_unref(packet);
        if (audio) return;
    }
}

}  // namespace

OSStatus MovieAudioExtractionBegin(const Movie& movie, uint32_t /*flags*/, MovieAudioExtractionRef* session) {
    if (!movie || !session) return AVERROR(EINVAL);
    const AVStream* stream = movie->stream();
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) return AVERROR_DECODER_NOT_FOUND;

    auto made = std::make_unique<MovieAudioExtractionSession>();
    made->movie = movie.get();
    made->decoder.reset(avcodec_alloc_context3(codec));
    made->packet.reset(av_packet_alloc());
    made->frame.reset(av_frame_alloc());
    if (!made->decoder || !made->packet || !made->frame) return AVERROR(ENOMEM);
    if (int result = avcodec_parameters_to_context(made->decoder.get(), stream->codecpar); result < 0) return result;
    made->decoder->pkt_timebase = stream->time_base;
    if (int result = avcodec_open2(made->decoder.get(), codec, nullptr); result < 0) return result;
    made->description = describeDecoderOutput(*made->decoder);

    session->reset(made.release());
    return 0;
}

OSStatus MovieAudioExtractionGetPropertyInfo(const MovieAudioExtractionRef& session, OSType propertyClass,
                                             OSType propertyID, OSType* propertyType, uint32_t* propertySize,
                                             uint32_t* propertyFlags) {
    if (!session) return AVERROR(EINVAL);
    if (propertyClass != kQTPropertyClass_MovieAudioExtraction_Audio) return AVERROR(ENOSYS);
    uint32_t size = 0, flags = kComponentPropertyFlagCanGetNow;
    if (propertyID == kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout) {
        size = sizeof(AudioChannelLayout);
    } else if (propertyID == kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription) {
        size = sizeof(AudioStreamBasicDescription);
        flags |= kComponentPropertyFlagCanSetNow;
    } else {
        return AVERROR(ENOSYS);
    }
    if (propertyType) *propertyType = propertyID;
    if (propertySize) *propertySize = size;
    if (propertyFlags) *propertyFlags = flags;
    return 0;
}

OSStatus MovieAudioExtractionGetProperty(const MovieAudioExtractionRef& session, OSType propertyClass,
                                         OSType propertyID, uint32_t valueSize, void* value, uint32_t* valueSizeUsed) {
    uint32_t size = 0;
    if (int result = MovieAudioExtractionGetPropertyInfo(session, propertyClass, propertyID, nullptr, &size, nullptr);
        result < 0)
        return result;
    if (value == nullptr || valueSize < size) return AVERROR(EINVAL);
    if (propertyID == kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout) {
        const AudioChannelLayout layout = describeChannelLayout(*session->decoder);
        std::memcpy(value, &layout, sizeof layout);
    } else {
        std::memcpy(value, &session->description, sizeof session->description);
    }
    if (valueSizeUsed) *valueSizeUsed = size;
    return 0;
}

OSStatus MovieAudioExtractionSetProperty(const MovieAudioExtractionRef& session, OSType propertyClass,
                                         OSType propertyID, uint32_t valueSize, const void* value) {
    if (!session) return AVERROR(EINVAL);
    if (propertyClass != kQTPropertyClass_MovieAudioExtraction_Audio ||
        propertyID != kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription)
        return AVERROR(ENOSYS);
    AudioStreamBasicDescription description{};
    if (value == nullptr || valueSize < sizeof description) return AVERROR(EINVAL);
    std::memcpy(&description, value, sizeof description);
    if (!isInterleavedFloatStereo(description)) return AVERROR(EINVAL);
    session->description = description;
    session->outputSet = true;
    session->resampler.reset();  // made again for the new rate at the next frame
    return 0;
}

OSStatus MovieAudioExtractionFillBuffer(const MovieAudioExtractionRef& session, uint32_t* numFrames,
                                        AudioBufferList* buffer, uint32_t* extractionFlags) {
    if (!session || numFrames == nullptr || buffer == nullptr || buffer->mNumberBuffers < 1) return AVERROR(EINVAL);
    MovieAudioExtractionSession& s = *session;
    if (!s.outputSet) return AVERROR(EINVAL);

    AudioBuffer& target = buffer->mBuffers[0];
    const uint32_t capacity = target.mData ? target.mDataByteSize / 8 : 0;
    const uint32_t wanted = std::min(*numFrames, capacity);
    auto* out = static_cast<float*>(target.mData);
    uint32_t delivered = 0;

    while (delivered < wanted && !s.complete) {
        auto* destination = reinterpret_cast<uint8_t*>(out + 2 * static_cast<size_t>(delivered));
        const int room = static_cast<int>(std::min<uint32_t>(wanted - delivered, INT_MAX));
        const int received = s.decoderDrained ? AVERROR_EOF : avcodec_receive_frame(s.decoder.get(), s.frame.get());
        if (received == 0) {
            int result = prepareResampler(s, *s.frame);
            if (result >= 0)
                result = swr_convert(s.resampler.get(), &destination, room,
                                     const_cast<const uint8_t**>(s.frame->extended_data), s.frame->nb_samples);
            av_frame_unref(s.frame.get());
            if (result < 0) return result;
            delivered += static_cast<uint32_t>(result);
        } else if (received == AVERROR_EOF || s.inputEnded) {
            // The decoder is done: empty what the resampler still holds.
            s.decoderDrained = true;
            const int flushed = s.resampler ? swr_convert(s.resampler.get(), &destination, room, nullptr, 0) : 0;
            if (flushed < 0) return flushed;
            delivered += static_cast<uint32_t>(flushed);
            if (flushed == 0) s.complete = true;
        } else {
            // The decoder wants input, or could not decode a packet (skipped).
            feedDecoder(s);
        }
    }

    *numFrames = delivered;
    if (extractionFlags) *extractionFlags = s.complete ? kQTMovieAudioExtractionComplete : 0;
    return 0;
}

OSStatus MovieAudioExtractionEnd(MovieAudioExtractionRef& session) {
    if (!session) return AVERROR(EINVAL);
    session.reset();
    return 0;
}
