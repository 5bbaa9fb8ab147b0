#include "platform/media/SoundFileDecoder.h"

#include "platform/media/MediaInput.h"
#include "platform/media/StereoResampler.h"

#include <cmath>

namespace {

// A resampler from the decoder's output to float stereo at `rate`.
SwrContextPtr makeResampler(const AVCodecContext& decoder, int rate) {
    int result = 0;
    return makeStereoResampler(decoder.ch_layout, decoder.sample_fmt, decoder.sample_rate, rate, &result);
}

// Converts one decoded frame (or, with null, what the resampler still holds)
// onto the end of `sound`.
void append(SwrContext* resampler, const AVFrame* frame, int inRate, DecodedSound& sound) {
    const int64_t delay = swr_get_delay(resampler, inRate);
    const int inFrames = frame ? frame->nb_samples : 0;
    const int room = static_cast<int>(av_rescale_rnd(delay + inFrames, static_cast<int64_t>(sound.sampleRate), inRate,
                                                     AV_ROUND_UP)) + 16;
    const size_t at = sound.stereo.size();
    sound.stereo.resize(at + static_cast<size_t>(room) * 2);
    auto* out = reinterpret_cast<uint8_t*>(sound.stereo.data() + at);
    const int made = swr_convert(resampler, &out, room, frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                                 inFrames);
    sound.stereo.resize(at + static_cast<size_t>(std::max(made, 0)) * 2);
}

}  // namespace

std::shared_ptr<const DecodedSound> SoundFileDecoder::decode(const std::string& path, double sampleRate,
                                                             std::string* error, bool noSoundIsError) {
    auto fail = [&](const std::string& why) {
        if (error) *error = path + ": " + why;
        return std::shared_ptr<const DecodedSound>();
    };
    if (!std::isfinite(sampleRate) || sampleRate < 1000 || sampleRate > 768000) return fail("no usable sample rate");
    FormatContextPtr format = openMediaInput(path, error);
    if (!format) return nullptr;
    auto sound = std::make_shared<DecodedSound>();
    sound->sampleRate = sampleRate;
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index < 0 || codec == nullptr) {
        if (noSoundIsError) return fail(index == AVERROR_DECODER_NOT_FOUND ? "no decoder for its sound" : "has no sound");
        return sound;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (static_cast<int>(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), format->streams[index]->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return fail("cannot open a decoder for its sound");
    SwrContextPtr resampler = makeResampler(*decoder, static_cast<int>(std::lround(sampleRate)));
    if (!resampler) return fail("cannot convert its sound to float stereo");

    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    bool ending = false;
    const auto limit = static_cast<size_t>(DecodedSound::kMaxSeconds * sampleRate) * 2;
    while (true) {
        if (sound->stereo.size() >= limit) {
            sound->stereo.resize(limit);
            sound->cut = true;
            break;
        }
        if (!ending) {
            const int read = av_read_frame(format.get(), packet.get());
            // A read error counts as the end: a file cut short gives what it has.
            if (read < 0) {
                ending = true;
                avcodec_send_packet(decoder.get(), nullptr);
            } else {
                if (packet->stream_index == index) avcodec_send_packet(decoder.get(), packet.get());
                av_packet_unref(packet.get());
            }
        }
        int received;
        while ((received = avcodec_receive_frame(decoder.get(), frame.get())) >= 0) {
            // The format may change mid-stream (a chained file): follow it.
            if (frame->sample_rate != decoder->sample_rate || frame->format != decoder->sample_fmt) {
                decoder->sample_rate = frame->sample_rate;
                decoder->sample_fmt = static_cast<AVSampleFormat>(frame->format);
                append(resampler.get(), nullptr, decoder->sample_rate, *sound);
                resampler = makeResampler(*decoder, static_cast<int>(std::lround(sampleRate)));
                if (!resampler) return fail("cannot convert its sound to float stereo");
            }
            append(resampler.get(), frame.get(), decoder->sample_rate, *sound);
            av_frame_unref(frame.get());
        }
        if (received == AVERROR_EOF || (ending && received == AVERROR(EAGAIN))) break;
    }
    if (!sound->cut) append(resampler.get(), nullptr, decoder->sample_rate, *sound);
    sound->stereo.shrink_to_fit();
    return sound;
}
