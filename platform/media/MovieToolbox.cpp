#include "MovieToolbox.h"

#include "FFmpegResources.h"

#include "platform/foundation/NSLog.h"
#include "platform/foundation/RegularFile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

void MovieDisposer::operator()(MovieRecord* movie) const { std::default_delete<MovieRecord>()(movie); }

void EnterMovies() {
    // Failures reach the caller as error codes; FFmpeg's informational
    // lines would only interleave with the host's own output.
    if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
}

void ExitMovies() {}

OSStatus QTNewDataReferenceFromFullPathCFString(const std::string& path, int32_t /*pathStyle*/, uint32_t /*flags*/,
                                                DataReferenceHandle* dataRef, OSType* dataRefType) {
    if (path.empty()) return AVERROR(EINVAL);
    *dataRef = std::make_unique<DataReference>(DataReference{path});
    *dataRefType = kDataRefTypeFilePath;
    return 0;
}

void DisposeHandle(DataReferenceHandle& dataRef) { dataRef.reset(); }

OSStatus NewMovieFromDataRef(Movie* movie, int16_t /*flags*/, int16_t* /*fileID*/, const DataReferenceHandle& dataRef,
                             OSType dataRefType) {
    if (!dataRef || dataRefType != kDataRefTypeFilePath) return AVERROR(EINVAL);

    // A FIFO or a device would block FFmpeg or never end: only a regular
    // file is opened, and FFmpeg is handed that very file through its
    // descriptor, so nothing can swap it between the check and the open.
    std::string error;
    bool notRegular = false;
    const FileDescriptor checked = openRegularFile(dataRef->path, &error, &notRegular);
    if (!checked) {
        if (notRegular) {
            NSLog("cannot open sound file %s", error.c_str());
            return AVERROR(EINVAL);
        }
        return AVERROR(errno ? errno : EIO);
    }

    // The name is a file path, never a URL: the file protocol alone, also for
    // anything a playlist-like file would open in turn.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* opened = nullptr;
    // Without /proc (a bare chroot) the checked path itself is the fallback.
    const std::string byDescriptor = "/proc/self/fd/" + std::to_string(checked.get());
    const std::string url = "file:" + (::access(byDescriptor.c_str(), R_OK) == 0 ? byDescriptor : dataRef->path);
    int result = avformat_open_input(&opened, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) return result;  // FFmpeg frees the context itself on failure

    auto record = std::make_unique<MovieRecord>();
    record->format.reset(opened);
    result = avformat_find_stream_info(opened, nullptr);
    if (result < 0) return result;
    result = av_find_best_stream(opened, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (result < 0) return result;
    record->audioStream = result;
    // Only the audio is ever read; the demuxer may skip the rest cheaply.
    for (unsigned i = 0; i < opened->nb_streams; ++i)
        if (static_cast<int>(i) != record->audioStream) opened->streams[i]->discard = AVDISCARD_ALL;

    movie->reset(record.release());
    return 0;
}

void SetMovieActive(const Movie&, bool) {}

TimeScale GetMovieTimeScale(const Movie& movie) {
    if (!movie) return 0;
    const int rate = movie->stream()->codecpar->sample_rate;
    return rate > 0 ? rate : AV_TIME_BASE;
}

TimeValue GetMovieDuration(const Movie& movie) {
    if (!movie) return 0;
    const AVStream* stream = movie->stream();
    const AVRational scale{1, GetMovieTimeScale(movie)};
    int64_t duration = 0;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        duration = av_rescale_q(stream->duration, stream->time_base, scale);
    else if (movie->format->duration != AV_NOPTS_VALUE && movie->format->duration > 0)
        duration = av_rescale_q(movie->format->duration, AV_TIME_BASE_Q, scale);
    return static_cast<TimeValue>(std::clamp<int64_t>(duration, 0, std::numeric_limits<TimeValue>::max()));
}
