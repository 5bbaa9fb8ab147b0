#include "patches/sound/SoundFileImport.h"

#include "tests/platform/media/TestSounds.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

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
        std::string why;  // the line that names the file and says why in words
    };
    const std::string missing = (dir.path() / "missing.wav").string();
    const std::string pictureOnly = makeMovieFile(dir, "picture-only.mkv", {}, 0, "");
    for (const Case& c :
         {Case{"", AVERROR(EINVAL), ""},
          Case{missing, AVERROR(ENOENT),
               "TembraImageWithSoundFile: cannot import " + missing + ": No such file or directory"},
          Case{pictureOnly, AVERROR_STREAM_NOT_FOUND,
               "TembraImageWithSoundFile: cannot import " + pictureOnly + ": no sound that can be read"}}) {
        SCOPED_TRACE(c.path);
        const auto imported = importFile(c.path);
        std::vector<std::string> expected{kImportLine, codeLine(c.code)};
        if (!c.why.empty()) expected.push_back(c.why);
        EXPECT_EQ(imported.log, expected);
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

TEST(SoundFileImport, AFIFOIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    const std::string fifo = (dir.path() / "pipe.wav").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto imported = importFile(fifo);
    EXPECT_FALSE(imported.returned);
    EXPECT_EQ(imported.log, (std::vector<std::string>{kImportLine,
                                                      "cannot open sound file " + fifo + ": is a FIFO, not a regular file",
                                                      codeLine(AVERROR(EINVAL))}));
}

// A header that claims far more frames than the file holds must not decide
// how much memory the import takes.
TEST(SoundFileImport, AHeaderClaimingMillionsOfFramesGivesWhatTheFileCanHold) {
    TempDir dir;
    const int rate = 8000;
    const auto source = testSignal(rate, 2, 0.1);
    const std::string path = makeSoundFile(dir, "claims.aiff", source, rate, 2);
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const size_t comm = bytes.find("COMM");
    ASSERT_NE(comm, std::string::npos);
    const uint32_t claimed = 100'000'000;  // big-endian frame count after the channel count
    for (int i = 0; i < 4; ++i) bytes[comm + 10 + i] = static_cast<char>(claimed >> (24 - 8 * i));
    const std::string lying = dir.write("lying.aiff", bytes);

    const auto imported = importFile(lying);
    ASSERT_TRUE(imported.returned);
    EXPECT_LE(imported.sampleCount, 2 * 16 * bytes.size());
    EXPECT_EQ(std::count_if(imported.log.begin(), imported.log.end(),
                            [&](const std::string& line) {
                                return line.starts_with(lying + ": the header claims 100000000 frames");
                            }),
              1);
    ASSERT_GE(imported.sampleCount, source.size());
    EXPECT_LE(largestDifference(imported.samples.data(), source.data(), source.size()), 1e-4f);
}

namespace {

// A 16-bit stereo WAV file of `frames` frames, frame i holding i and -i.
std::string writeWAV(const TempDir& dir, uint32_t frames, uint32_t rate) {
    std::string bytes;
    const auto put = [&](uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
    };
    const uint32_t dataBytes = frames * 4;
    bytes += "RIFF";
    put(36 + dataBytes, 4);
    bytes += "WAVEfmt ";
    put(16, 4);
    put(1, 2);  // PCM
    put(2, 2);
    put(rate, 4);
    put(rate * 4, 4);
    put(4, 2);
    put(16, 2);
    bytes += "data";
    put(dataBytes, 4);
    for (uint32_t i = 0; i < frames; ++i) {
        put(i, 2);
        put(static_cast<uint32_t>(-static_cast<int32_t>(i)), 2);
    }
    return dir.write(std::to_string(rate) + "-" + std::to_string(frames) + ".wav", bytes);
}

}  // namespace

TEST(SoundFileImport, EveryFrameOfShortFilesIsCounted) {
    TempDir dir;
    for (uint32_t rate : {44100u, 48000u}) {
        for (uint32_t frames = 1; frames <= 600; ++frames) {
            const auto imported = importFile(writeWAV(dir, frames, rate));
            ASSERT_EQ(imported.sampleCount, 2 * frames) << frames << " frames at " << rate;
            const float last = static_cast<float>(frames - 1) / 32768.0f;
            ASSERT_EQ(imported.samples[2 * frames - 2], last) << frames << " frames at " << rate;
            ASSERT_EQ(imported.samples[2 * frames - 1], -last) << frames << " frames at " << rate;
        }
    }
}
