#pragma once

// Owning handles for what writing a file takes: the output container, the
// picture converter and the sound queue. Private to the media layer.

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

// An output context is not closed like an input: a file FFmpeg opened is
// closed with avio_closep (a format that writes no file has none, and one
// written through our own I/O belongs to its owner), then the context is freed.
struct AVOutputContextFreer {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr && !(context->oformat->flags & AVFMT_NOFILE) &&
            !(context->flags & AVFMT_FLAG_CUSTOM_IO))
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct SwsContextFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct AVAudioFifoFreer {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using OutputContextPtr = std::unique_ptr<AVFormatContext, AVOutputContextFreer>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextFreer>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AVAudioFifoFreer>;

// FFmpeg's words for an error code ("Permission denied").
inline std::string ffmpegErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}
