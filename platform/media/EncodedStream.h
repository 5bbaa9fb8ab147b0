#pragma once

// One stream of a file being written and the encoder that feeds it. Private
// to the media layer.

#include "platform/media/FFmpegResources.h"

struct EncodedStream {
    CodecContextPtr encoder;
    AVStream* stream = nullptr;
    PacketPtr packet;
    // Given to packets the encoder leaves without a duration (in the
    // encoder's time base), so that the last picture lasts a frame too.
    int64_t packetDuration = 0;

    // Opens the configured `encoder` and adds its stream to `output`.
    // Returns 0 or an FFmpeg error.
    int open(AVFormatContext* output, const AVCodec* codec);
    // Sends `frame` (null: flush the encoder) and writes every packet the
    // encoder has ready. Returns 0 or an FFmpeg error.
    int encode(AVFormatContext* output, const AVFrame* frame);
};
