#include "patches/sound/SoundFileImport.h"

#include "tests/platform/media/TestSounds.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>
#include <filesystem>

namespace {

constexpr uint32_t kUntouchedCount = 12345;

struct Import {
    bool returned = false;
    std::vector<float> samples;
    uint32_t sampleCount = 0;
    std::vector<std::string> log;
};

// Both out values are set to markers first, to see that a failure leaves
// them alone.
Import importFile(const std::string& path) {
    LogCapture capture;
    auto marker = std::make_unique<float[]>(1);
    float* const markerAddress = marker.get();
    uint32_t count = kUntouchedCount;
    importAudioFromFile(path, marker, count);

    Import result;
    result.log = capture.lines();
    result.returned = marker.get() != markerAddress || count != kUntouchedCount;
    EXPECT_EQ(marker.get() != markerAddress, count != kUntouchedCount) << "samples and count must go together";
    if (result.returned) {
        result.sampleCount = count;
        result.samples.assign(marker.get(), marker.get() + count);
    }
    return result;
}

std::string codeLine(int ffmpegError) { return "   " + std::to_string(static_cast<int16_t>(ffmpegError & 0xFFFF)); }

const char* const kImportLine = "TembraImageWithSoundFile::importAudioFromFile()";

}  // namespace

TEST(SoundFileImport, LosslessFilesGiveTheSourceSamplesAtTheirOwnRate) {
    struct Case {
        const char* name;
        int rate;
        const char* options;
    };
    for (const Case& c : {Case{"tone.wav", 8000, ""}, Case{"tone.aiff", 22050, ""}, Case{"tone.flac", 44100, ""},
                          Case{"tone.wav", 96000, "-c:a pcm_f32le"}}) {
        SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(c.rate));
        TempDir dir;
        const auto source = testSignal(c.rate, 2, 1.0);
        const auto imported = importFile(makeSoundFile(dir, c.name, source, c.rate, 2, c.options));

        ASSERT_EQ(imported.sampleCount, 2u * c.rate);
        EXPECT_LE(largestDifference(imported.samples.data(), source.data(), source.size()), 1e-4f);

        ASSERT_EQ(imported.log.size(), 10u);
        EXPECT_EQ(imported.log[0], kImportLine);
        EXPECT_EQ(imported.log[1], "Setting movie active...");
        EXPECT_EQ(imported.log[3], "   sample rate    = " + std::to_string(c.rate) + ".000000");
        EXPECT_EQ(imported.log[7], "   channels/frame = 2");
        EXPECT_EQ(imported.log[8].rfind("   b/channel      = ", 0), 0u);
        EXPECT_EQ(imported.log[9].rfind("   Extraction flags = ", 0), 0u);
        EXPECT_NE(imported.log[9].find(" (contains 1?)"), std::string::npos);
    }
}

TEST(SoundFileImport, CompressedFilesAndMovieSoundTracksImport) {
    struct Case {
        const char* name;
        const char* options;
        bool movie;
        bool exact;
    };
    const int rate = 44100;
    const auto source = testSignal(rate, 2, 1.0);
    for (const Case& c : {Case{"tone.mp3", "-c:a libmp3lame -b:a 192k", false, false},
                          Case{"tone.ogg", "-c:a libvorbis -q:a 6", false, false},
                          Case{"movie.mkv", "-c:a flac -shortest", true, true},
                          Case{"movie.mov", "-c:a pcm_s16le -shortest", true, true},
                          Case{"movie.mp4", "-c:a aac -b:a 192k -shortest", true, false}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = c.movie ? makeMovieFile(dir, c.name, source, rate, c.options)
                                         : makeSoundFile(dir, c.name, source, rate, 2, c.options);
        const auto imported = importFile(path);
        ASSERT_TRUE(imported.returned);
        if (c.exact) {
            ASSERT_EQ(imported.sampleCount, 2u * rate);
            EXPECT_LE(largestDifference(imported.samples.data(), source.data(), source.size()), 1e-4f);
        } else {
            // Lossy files announce their length in whole packets, so a few
            // milliseconds of silence may follow; the loudness of each
            // channel survives the codec.
            ASSERT_NEAR(imported.sampleCount, 2.0 * rate, 0.05 * 2 * rate);
            const std::vector<float> body(imported.samples.begin() + rate / 10, imported.samples.begin() + rate);
            const std::vector<float> original(source.begin() + rate / 10, source.begin() + rate);
            for (size_t channel : {0, 1})
                EXPECT_NEAR(rms(body, channel, 2), rms(original, channel, 2), 0.05 * rms(original, channel, 2));
        }
    }
}

TEST(SoundFileImport, MonoIsReportedAndStillGivesTwoValuesPerFrame) {
    TempDir dir;
    const int rate = 11025;
    const auto source = testSignal(rate, 1, 1.0);
    const auto imported = importFile(makeSoundFile(dir, "mono.wav", source, rate, 1));

    ASSERT_GE(imported.log.size(), 10u);
    EXPECT_EQ(imported.log[7], "   channels/frame = 1");
    EXPECT_EQ(imported.log[8].rfind("   b/channel      = ", 0), 0u);
    EXPECT_EQ(imported.log[9], "Cannot import non-stereo audio!");

    ASSERT_EQ(imported.sampleCount, 2u * rate);
    std::vector<float> left, right;
    for (size_t i = 0; i < imported.sampleCount; i += 2) {
        left.push_back(imported.samples[i]);
        right.push_back(imported.samples[i + 1]);
    }
    EXPECT_LE(largestDifference(left.data(), source.data(), source.size()), 1e-4f);
    EXPECT_LE(largestDifference(right.data(), source.data(), source.size()), 1e-4f);
}

TEST(SoundFileImport, FailuresLogTheCodeAndReturnNothing) {
    TempDir dir;
    struct Case {
        std::string path;
        int code;
    };
    for (const Case& c : {Case{"", AVERROR(EINVAL)}, Case{(dir.path() / "missing.wav").string(), AVERROR(ENOENT)},
                          Case{makeMovieFile(dir, "picture-only.mkv", {}, 0, ""), AVERROR_STREAM_NOT_FOUND}}) {
        SCOPED_TRACE(c.path);
        const auto imported = importFile(c.path);
        EXPECT_EQ(imported.log, (std::vector<std::string>{kImportLine, codeLine(c.code)}));
        EXPECT_FALSE(imported.returned);
    }
}

TEST(SoundFileImport, TruncatedFilesGiveWhatTheyHold) {
    const int rate = 22050;
    const auto source = testSignal(rate, 2, 1.0);
    TempDir dir;

    // A WAV file's length is taken from what the file still holds.
    const std::string wav = makeSoundFile(dir, "cut.wav", source, rate, 2);
    std::filesystem::resize_file(wav, std::filesystem::file_size(wav) / 2);
    const auto shortened = importFile(wav);
    ASSERT_NEAR(shortened.sampleCount, source.size() / 2, 100);
    EXPECT_LE(largestDifference(shortened.samples.data(), source.data(), shortened.sampleCount), 1e-4f);

    // An MP3 file's header still announces the whole second: the frames the
    // file no longer has are silence.
    const std::string mp3 = makeSoundFile(dir, "cut.mp3", source, rate, 2);
    std::filesystem::resize_file(mp3, std::filesystem::file_size(mp3) / 2);
    const auto imported = importFile(mp3);
    ASSERT_NEAR(imported.sampleCount, source.size(), 0.1 * source.size());
    const auto at = [&](double fraction) { return imported.samples.begin() + long(fraction * imported.sampleCount); };
    EXPECT_GT(rms({at(0.05), at(0.4)}, 0, 1), 0.3);
    EXPECT_EQ(rms({at(0.6), at(1.0)}, 0, 1), 0.0);
}
