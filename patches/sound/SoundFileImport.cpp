#include "SoundFileImport.h"

#include "platform/foundation/NSLog.h"
#include "platform/media/HugePages.h"
#include "platform/media/MovieAudioExtraction.h"
#include "platform/media/MovieToolbox.h"

#include <algorithm>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr OSErr memFullErr = -108;

// Failures keep the low 16 bits of the 32-bit result, as the toolbox's
// status type does; success is tested on those bits alone.
OSErr status(OSStatus result) { return static_cast<OSErr>(result & 0xFFFF); }

// The frame estimate as an unsigned 32-bit count: truncated toward zero,
// negative (or not a number) gives 0, too large gives the largest count.
uint32_t frameCount(float numFramesF) {
    if (!(numFramesF > 0.0f)) return 0;
    if (numFramesF >= 4294967296.0f) return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(numFramesF);
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
        return;
    }

    error = status(NewMovieFromDataRef(&soundToPlay, flags, &fileID, dataRef, dataRefType));
    if (error != noErr) {
        NSLog("   %d", error);
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

    // Frame estimate from the movie's length, in the same precision steps
    // the count has always been computed with.
    const double sampleRate = asbd.mSampleRate;
    const auto duration = static_cast<float>(GetMovieDuration(soundToPlay));
    const auto timeScale = static_cast<float>(GetMovieTimeScale(soundToPlay));
    const float seconds = duration / timeScale;
    const auto numFramesF = static_cast<float>(static_cast<double>(seconds) * sampleRate);
    uint32_t numFrames = frameCount(numFramesF);

    uint32_t extractionFlags = 0;
    // The buffer's byte size is a 32-bit field: a longer estimate cannot be
    // described, let alone held, so it is treated as memory not to be had.
    if (numFrames > std::numeric_limits<uint32_t>::max() / asbd.mBytesPerFrame) {
        NSLog("Oops, out of memory");
        return;
    }
    // Zero-filled as far as the fill does not reach: only the tail is
    // cleared after it, which spares a pass over a buffer of many megabytes.
    const size_t capacity = static_cast<size_t>(numFrames) * asbd.mChannelsPerFrame;
    std::unique_ptr<float[]> sampleMemory;
    try {
        sampleMemory = std::make_unique_for_overwrite<float[]>(capacity);
        adviseHugePages(sampleMemory.get(), capacity * sizeof(float));
    } catch (const std::bad_alloc&) {
        NSLog("Oops, out of memory");
        return;
    }
    AudioBufferList buffer{};
    buffer.mNumberBuffers = 1;
    buffer.mBuffers[0].mNumberChannels = asbd.mChannelsPerFrame;
    buffer.mBuffers[0].mDataByteSize = numFrames * asbd.mBytesPerFrame;
    buffer.mBuffers[0].mData = sampleMemory.get();

    resultCount = asbd.mChannelsPerFrame * numFrames;

    error = status(MovieAudioExtractionFillBuffer(extractionSessionRef, &numFrames, &buffer, &extractionFlags));
    if (error != noErr) {
        NSLog("Filling buffer of audio...");
        NSLog("   %d", error);
        return;
    }

    std::fill(sampleMemory.get() + static_cast<size_t>(numFrames) * asbd.mChannelsPerFrame,
              sampleMemory.get() + capacity, 0.0f);

    NSLog("   Extraction flags = %d (contains %d?)", static_cast<int>(extractionFlags),
          static_cast<int>(kQTMovieAudioExtractionComplete));

    error = status(MovieAudioExtractionEnd(extractionSessionRef));
    if (error != noErr) {
        NSLog("Ending extraction session...");
        NSLog("   %d", error);
        return;
    }

    ExitMovies();
    samples = std::move(sampleMemory);
    sampleCount = resultCount;
}
