#include "platform/media/EncodedStream.h"

int EncodedStream::open(AVFormatContext* output, const AVCodec* codec) {
    // Containers that keep codec setup in their header want it out of band.
    if (output->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (int result = avcodec_open2(encoder.get(), codec, nullptr); result < 0) return result;
    stream = avformat_new_stream(output, nullptr);
    packet.reset(av_packet_alloc());
    if (stream == nullptr || !packet) return AVERROR(ENOMEM);
    stream->time_base = encoder->time_base;  // a hint; the muxer may choose another
    return avcodec_parameters_from_context(stream->codecpar, encoder.get());
}

int EncodedStream::encode(AVFormatContext* output, const AVFrame* frame) {
    int result = avcodec_send_frame(encoder.get(), frame);
    // A second flush finds the encoder already drained.
    if (result == AVERROR_EOF && frame == nullptr) return 0;
    if (result < 0) return result;
    for (;;) {
        result = avcodec_receive_packet(encoder.get(), packet.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return 0;
        if (result < 0) return result;
        if (packet->duration == 0) packet->duration = packetDuration;
        av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        // Takes the packet's data, leaving it blank for the next one.
        if (result = av_interleaved_write_frame(output, packet.get()); result < 0) return result;
    }
}
