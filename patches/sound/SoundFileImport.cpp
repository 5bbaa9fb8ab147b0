#include "SoundFileImport.h"

#include "GrowingSamples.h"

#include "platform/foundation/NSLog.h"
#include "platform/foundation/RegularFile.h"
#include "platform/media/MovieAudioExtraction.h"
#include "platform/media/MovieToolbox.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr OSErr memFullErr = -108;

// Failures keep the low 16 bits of the 32-bit result, as the toolbox's
// status type does; success is tested on those bits alone.
OSErr status(OSStatus result) { return static_cast<OSErr>(result & 0xFFFF); }

// Frames asked of one fill when the planned buffer is full: a probe for
// more audio than the file announced.
constexpr uint64_t kFirstChunkFrames = GrowingSamples::kScratchFrames;
// One fill's byte size is a 32-bit field.
constexpr uint64_t kMaxChunkFrames = uint64_t{1} << 24;
constexpr uint64_t kMostFrames = GrowingSamples::kMostFrames;
// The frames one byte of a sound file is taken to hold at most: beyond PCM
// (at most one frame per byte) and common compressed rates (an MP3 at
// 32 kbit/s and 44.1 kHz holds about 11). It bounds only the silence that a
// header's claim adds at the end; decoded frames are always kept.
constexpr uint64_t kMostFramesPerFileByte = 16;

// The frames in `duration` units of `timeScale` per second at `rate`.
uint64_t frameEstimate(TimeValue duration, TimeScale timeScale, double rate) {
    if (duration <= 0 || timeScale <= 0 || !(rate > 0.0)) return 0;
    const double frames = std::round(static_cast<double>(duration) * rate / timeScale);
    return frames >= static_cast<double>(kMostFrames) ? kMostFrames : static_cast<uint64_t>(frames);
}

// The code alone tells a performer little: say which file, and why, in words.
// A file refused for its kind has been named already; an empty path names nothing.
void logWhyNotOpened(const std::string& path) {
    if (path.empty()) return;
    std::string reason;
    bool notRegular = false;
    if (openRegularFile(path, &reason, &notRegular)) reason = path + ": no sound that can be read";
    else if (notRegular) return;
    NSLogProblem("TembraImageWithSoundFile: cannot import %s", reason.c_str());
}

uint64_t framesTheFileCanHold(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || info.st_size <= 0) return 0;
    return std::min<uint64_t>(static_cast<uint64_t>(info.st_size), kMostFrames / kMostFramesPerFileByte) *
           kMostFramesPerFileByte;
}

}  // namespace

void importAudioFromFile(const std::string& path, std::unique_ptr<float[]>& samples, uint32_t& sampleCount) {
    NSLog("TembraImageWithSoundFile::importAudioFromFile()");
    DataReferenceHandle dataRef;
    OSType dataRefType = 0;
    Movie soundToPlay;  // declared before the session, which must not outlive it
    MovieAudioExtractionRef extractionSessionRef;
    uint32_t size = 0;
    uint32_t resultCount = 0;
    OSErr error = noErr;

    EnterMovies();
    int16_t fileID = -1;
    const int16_t flags = 0;

    error = status(QTNewDataReferenceFromFullPathCFString(path, kQTNativeDefaultPathStyle, 0, &dataRef, &dataRefType));
    if (error != noErr) {
        NSLog("   %d", error);
        logWhyNotOpened(path);
        return;
    }

    error = status(NewMovieFromDataRef(&soundToPlay, flags, &fileID, dataRef, dataRefType));
    if (error != noErr) {
        NSLog("   %d", error);
        logWhyNotOpened(path);
        return;
    }
    DisposeHandle(dataRef);

    NSLog("Setting movie active...");
    SetMovieActive(soundToPlay, true);

    error = status(MovieAudioExtractionBegin(soundToPlay, 0, &extractionSessionRef));
    if (error != noErr) {
        NSLog("Beginning extraction session...");
        NSLog("   %d", error);
        return;
    }

    error = status(MovieAudioExtractionGetPropertyInfo(extractionSessionRef, kQTPropertyClass_MovieAudioExtraction_Audio,
                                                       kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout,
                                                       nullptr, &size, nullptr));
    if (error != noErr) {
        NSLog("Getting property info...");
        NSLog("   %d", error);
        return;
    }

    // The layout is read only because the extraction expects it to be; none
    // of it is used. Without memory for it the import goes on without it.
    std::vector<uint8_t> layout;
    try {
        layout.assign(size, 0);
    } catch (const std::bad_alloc&) {
        error = memFullErr;
        NSLog("Oops, out of memory");
    }
    if (error == noErr) {
        error = status(MovieAudioExtractionGetProperty(extractionSessionRef, kQTPropertyClass_MovieAudioExtraction_Audio,
                                                       kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout, size,
                                                       layout.data(), nullptr));
        if (error != noErr) {
            NSLog("Getting property...");
            NSLog("   %d", error);
            return;
        }
    }
    layout = {};

    AudioStreamBasicDescription asbd{};
    error = status(MovieAudioExtractionGetProperty(extractionSessionRef, kQTPropertyClass_MovieAudioExtraction_Audio,
                                                   kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription,
                                                   sizeof asbd, &asbd, nullptr));
    if (error != noErr) {
        NSLog("Getting audio stream basic description (absd)...");
        NSLog("   %d", error);
        return;
    }

    NSLog("   format flags   = %d", static_cast<int>(asbd.mFormatFlags));
    NSLog("   sample rate    = %f", asbd.mSampleRate);
    NSLog("   b/packet       = %d", static_cast<int>(asbd.mBytesPerPacket));
    NSLog("   f/packet       = %d", static_cast<int>(asbd.mFramesPerPacket));
    NSLog("   b/frame        = %d", static_cast<int>(asbd.mBytesPerFrame));
    NSLog("   channels/frame = %d", static_cast<int>(asbd.mChannelsPerFrame));
    NSLog("   b/channel      = %d", static_cast<int>(asbd.mBitsPerChannel));

    if (asbd.mChannelsPerFrame != 2) NSLog("Cannot import non-stereo audio!");

    asbd.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    asbd.mChannelsPerFrame = 2;
    asbd.mBitsPerChannel = 32;
    asbd.mBytesPerFrame = asbd.mChannelsPerFrame * 4;
    asbd.mBytesPerPacket = asbd.mBytesPerFrame;
    error = status(MovieAudioExtractionSetProperty(extractionSessionRef, kQTPropertyClass_MovieAudioExtraction_Audio,
                                                   kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription,
                                                   sizeof asbd, &asbd));
    if (error != noErr) {
        NSLog("Setting new asbd...");
        NSLog("   %d", error);
        return;
    }

    // The frame count from the movie's length, exact where the container
    // knows it (the time scale is then the audio's own rate). A header may
    // claim far more than the file holds, so the claim only pads the end with
    // silence, and only as far as the file's bytes could decode to; memory
    // grows with what is actually decoded, and no decoded frame is dropped.
    const uint64_t claimed = frameEstimate(GetMovieDuration(soundToPlay), GetMovieTimeScale(soundToPlay),
                                           asbd.mSampleRate);
    const uint64_t padTo = std::min(claimed, framesTheFileCanHold(path));
    if (padTo < claimed)
        NSLog("%s: the header claims %llu frames, more than the file can hold; silence pads it to %llu at most "
              "(%llu frames per byte)",
              path.c_str(), static_cast<unsigned long long>(claimed), static_cast<unsigned long long>(padTo),
              static_cast<unsigned long long>(kMostFramesPerFileByte));

    uint32_t extractionFlags = 0;
    GrowingSamples sampleMemory;
    if (!sampleMemory.reserve(std::max<uint64_t>(padTo, kFirstChunkFrames))) {
        NSLog("Oops, out of memory");
        return;
    }
    for (;;) {
        float* into = sampleMemory.room() > 0 ? sampleMemory.end() : sampleMemory.scratch();
        uint32_t numFrames = static_cast<uint32_t>(
            std::min<uint64_t>(sampleMemory.room() > 0 ? sampleMemory.room() : kFirstChunkFrames, kMaxChunkFrames));
        AudioBufferList buffer{};
        buffer.mNumberBuffers = 1;
        buffer.mBuffers[0].mNumberChannels = asbd.mChannelsPerFrame;
        buffer.mBuffers[0].mDataByteSize = numFrames * asbd.mBytesPerFrame;
        buffer.mBuffers[0].mData = into;
        error = status(MovieAudioExtractionFillBuffer(extractionSessionRef, &numFrames, &buffer, &extractionFlags));
        if (error != noErr) {
            NSLog("Filling buffer of audio...");
            NSLog("   %d", error);
            return;
        }
        if (!sampleMemory.append(into, numFrames)) {
            NSLog("Oops, out of memory");
            return;
        }
        if ((extractionFlags & kQTMovieAudioExtractionComplete) != 0 || numFrames == 0) break;
    }
    const uint64_t frames = std::max<uint64_t>(sampleMemory.frames(), padTo);
    sampleMemory.padWithSilence(frames);
    resultCount = static_cast<uint32_t>(frames * 2);

    NSLog("   Extraction flags = %d (contains %d?)", static_cast<int>(extractionFlags),
          static_cast<int>(kQTMovieAudioExtractionComplete));

    error = status(MovieAudioExtractionEnd(extractionSessionRef));
    if (error != noErr) {
        NSLog("Ending extraction session...");
        NSLog("   %d", error);
        return;
    }

    ExitMovies();
    samples = sampleMemory.release();
    sampleCount = resultCount;
}
