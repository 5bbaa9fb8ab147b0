#include "platform/media/MediaInput.h"

#include "platform/foundation/RegularFile.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

#include <mutex>
#include <unistd.h>

std::string ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool isDeviceInput(const std::string& source, std::string* format, std::string* specifier) {
    // A path never starts with "name:" where name is a known input format;
    // "/dev/video0" and "clip.mp4" do not either.
    const size_t colon = source.find(':');
    if (colon == std::string::npos || colon == 0 || source.find('/') < colon) return false;
    static std::once_flag registered;
    std::call_once(registered, [] {
        avdevice_register_all();
        // A failure is told in one line of ours naming the source; FFmpeg's
        // own lines would repeat it on every retry of a missing camera.
        av_log_set_level(AV_LOG_FATAL);
    });
    const std::string name = source.substr(0, colon);
    if (av_find_input_format(name.c_str()) == nullptr) return false;
    if (format) *format = name;
    if (specifier) *specifier = source.substr(colon + 1);
    return true;
}

FormatContextPtr openMediaInput(const std::string& source, std::string* error, AVDictionary** deviceOptions) {
    auto fail = [&](const std::string& why) {
        if (error) *error = source + ": " + why;
        return FormatContextPtr();
    };
    std::string formatName, specifier;
    AVFormatContext* opened = nullptr;
    int result = 0;
    if (isDeviceInput(source, &formatName, &specifier)) {
        result = avformat_open_input(&opened, specifier.c_str(), av_find_input_format(formatName.c_str()), deviceOptions);
        if (result < 0) return fail(ffmpegError(result));
    } else {
        std::string why;
        const FileDescriptor checked = openRegularFile(source, &why);
        if (!checked) {
            if (error) *error = why;
            return FormatContextPtr();
        }
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        // Without /proc (a bare chroot) the checked path itself is the fallback.
        const std::string byDescriptor = "/proc/self/fd/" + std::to_string(checked.get());
        const std::string url = "file:" + (::access(byDescriptor.c_str(), R_OK) == 0 ? byDescriptor : source);
        result = avformat_open_input(&opened, url.c_str(), nullptr, &options);
        av_dict_free(&options);
        if (result < 0) return fail(result == AVERROR_INVALIDDATA ? "not a movie or sound file FFmpeg reads"
                                                                  : ffmpegError(result));
    }
    FormatContextPtr format(opened);
    result = avformat_find_stream_info(opened, nullptr);
    if (result < 0) return fail("cannot read its streams: " + ffmpegError(result));
    return format;
}
