#include "platform/media/MovieAudioExtraction.h"

#include "TestSounds.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>

namespace {

OSStatus open(const std::string& path, Movie& movie) {
    DataReferenceHandle dataRef;
    OSType type = 0;
    if (OSStatus result = QTNewDataReferenceFromFullPathCFString(path, kQTNativeDefaultPathStyle, 0, &dataRef, &type))
        return result;
    int16_t fileID = -1;
    return NewMovieFromDataRef(&movie, 0, &fileID, dataRef, type);
}

AudioStreamBasicDescription floatStereo(double rate) {
    AudioStreamBasicDescription d;
    d.mSampleRate = rate;
    d.mFormatID = kAudioFormatLinearPCM;
    d.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    d.mBytesPerPacket = d.mBytesPerFrame = 8;
    d.mFramesPerPacket = 1;
    d.mChannelsPerFrame = 2;
    d.mBitsPerChannel = 32;
    return d;
}

OSStatus setDescription(const MovieAudioExtractionRef& session, const AudioStreamBasicDescription& d) {
    return MovieAudioExtractionSetProperty(session, kQTPropertyClass_MovieAudioExtraction_Audio,
                                           kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription, sizeof d,
                                           &d);
}

OSStatus fill(const MovieAudioExtractionRef& session, float* into, uint32_t byteSize, uint32_t& frames,
              uint32_t& flags) {
    AudioBufferList list{};
    list.mNumberBuffers = 1;
    list.mBuffers[0].mNumberChannels = 2;
    list.mBuffers[0].mDataByteSize = byteSize;
    list.mBuffers[0].mData = into;
    return MovieAudioExtractionFillBuffer(session, &frames, &list, &flags);
}

}  // namespace

TEST(MovieToolbox, OpeningFailsForWhatHoldsNoAudio) {
    TempDir dir;
    Movie movie;
    DataReferenceHandle dataRef;
    OSType type = 0;
    EXPECT_EQ(QTNewDataReferenceFromFullPathCFString("", kQTNativeDefaultPathStyle, 0, &dataRef, &type), AVERROR(EINVAL));
    EXPECT_EQ(open((dir.path() / "missing.wav").string(), movie), AVERROR(ENOENT));
    // A path is never taken for a URL of another protocol.
    EXPECT_EQ(open("http://127.0.0.1:9/tone.wav", movie), AVERROR(ENOENT));
    EXPECT_LT(open(dir.write("notes.txt", "not a sound at all\n"), movie), 0);
    EXPECT_EQ(open(makeMovieFile(dir, "silent.mkv", {}, 0, ""), movie), AVERROR_STREAM_NOT_FOUND);
    EXPECT_FALSE(movie);
}

TEST(MovieToolbox, DurationIsCountedInTheAudiosOwnRate) {
    TempDir dir;
    Movie movie;
    ASSERT_EQ(open(makeSoundFile(dir, "tone.wav", testSignal(22050, 2, 1.5), 22050, 2), movie), 0);
    EXPECT_EQ(GetMovieTimeScale(movie), 22050);
    EXPECT_EQ(GetMovieDuration(movie), 33075);
}

TEST(MovieAudioExtraction, DescribesTheSourceAndAcceptsOnlyFloatStereo) {
    TempDir dir;
    Movie movie;
    ASSERT_EQ(open(makeSoundFile(dir, "mono.wav", testSignal(8000, 1, 0.1), 8000, 1), movie), 0);
    MovieAudioExtractionRef session;
    ASSERT_EQ(MovieAudioExtractionBegin(movie, 0, &session), 0);

    AudioStreamBasicDescription read;
    ASSERT_EQ(MovieAudioExtractionGetProperty(session, kQTPropertyClass_MovieAudioExtraction_Audio,
                                              kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription,
                                              sizeof read, &read, nullptr),
              0);
    EXPECT_EQ(read.mSampleRate, 8000.0);
    EXPECT_EQ(read.mChannelsPerFrame, 1u);
    EXPECT_EQ(read.mBitsPerChannel, 16u);
    EXPECT_EQ(read.mFormatFlags & kAudioFormatFlagIsSignedInteger, kAudioFormatFlagIsSignedInteger);

    uint32_t size = 0;
    ASSERT_EQ(MovieAudioExtractionGetPropertyInfo(session, kQTPropertyClass_MovieAudioExtraction_Audio,
                                                  kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout, nullptr,
                                                  &size, nullptr),
              0);
    AudioChannelLayout layout{};
    ASSERT_EQ(size, sizeof layout);
    ASSERT_EQ(MovieAudioExtractionGetProperty(session, kQTPropertyClass_MovieAudioExtraction_Audio,
                                              kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout, size, &layout,
                                              nullptr),
              0);
    EXPECT_EQ(layout.mChannelLayoutTag, kAudioChannelLayoutTag_Mono);

    float sample[2] = {};
    uint32_t frames = 1, flags = 0;
    EXPECT_EQ(fill(session, sample, sizeof sample, frames, flags), AVERROR(EINVAL)) << "filled before a format was set";

    auto wrong = floatStereo(8000);
    wrong.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
    EXPECT_EQ(setDescription(session, wrong), AVERROR(EINVAL));
    wrong = floatStereo(8000);
    wrong.mChannelsPerFrame = 1;
    EXPECT_EQ(setDescription(session, wrong), AVERROR(EINVAL));
    EXPECT_EQ(setDescription(session, floatStereo(0)), AVERROR(EINVAL));
    EXPECT_EQ(setDescription(session, floatStereo(8000)), 0);
    EXPECT_EQ(MovieAudioExtractionEnd(session), 0);
    EXPECT_FALSE(session);
}

TEST(MovieAudioExtraction, FillsInPiecesWithinTheBufferAndResamplesOnRequest) {
    TempDir dir;
    const auto source = testSignal(16000, 2, 0.25);  // 4000 frames
    const std::string path = makeSoundFile(dir, "tone.flac", source, 16000, 2);
    Movie movie;
    ASSERT_EQ(open(path, movie), 0);
    MovieAudioExtractionRef session;
    ASSERT_EQ(MovieAudioExtractionBegin(movie, 0, &session), 0);
    ASSERT_EQ(setDescription(session, floatStereo(16000)), 0);

    // Pieces of 1500 frames asked of a buffer that holds 1000: never more
    // than the buffer holds, and nothing written past it.
    std::vector<float> all;
    std::vector<float> piece(2 * 1000 + 8, 7.0f);
    uint32_t flags = 0;
    for (int round = 0; round < 10 && flags == 0; ++round) {
        uint32_t frames = 1500;
        ASSERT_EQ(fill(session, piece.data(), 1000 * 8, frames, flags), 0);
        ASSERT_LE(frames, 1000u);
        all.insert(all.end(), piece.begin(), piece.begin() + 2 * frames);
        for (size_t i = 2000; i < piece.size(); ++i) ASSERT_EQ(piece[i], 7.0f);
    }
    EXPECT_EQ(flags, kQTMovieAudioExtractionComplete);
    ASSERT_EQ(all.size(), source.size());
    EXPECT_LE(largestDifference(all.data(), source.data(), source.size()), 1e-4f);

    // The same file at twice its rate: twice the frames.
    Movie again;
    ASSERT_EQ(open(path, again), 0);
    MovieAudioExtractionRef doubled;
    ASSERT_EQ(MovieAudioExtractionBegin(again, 0, &doubled), 0);
    ASSERT_EQ(setDescription(doubled, floatStereo(32000)), 0);
    std::vector<float> resampled(2 * 9000);
    uint32_t frames = 9000;
    ASSERT_EQ(fill(doubled, resampled.data(), 9000 * 8, frames, flags), 0);
    EXPECT_NEAR(frames, 8000, 2);
    EXPECT_EQ(flags, kQTMovieAudioExtractionComplete);
}
