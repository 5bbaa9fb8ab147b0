#pragma once

// Owning handles for FFmpeg objects, so every path out of the layer frees
// what it made. Private to the media layer.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <memory>

struct AVFormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct AVCodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct SwrContextFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct AVPacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct AVFrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, AVFormatContextCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, AVCodecContextFreer>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextFreer>;
using PacketPtr = std::unique_ptr<AVPacket, AVPacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, AVFrameFreer>;

// What an opened movie holds: the demuxer and the index of its audio stream.
struct MovieRecord {
    FormatContextPtr format;
    int audioStream = -1;

    AVStream* stream() const { return format->streams[audioStream]; }
};
