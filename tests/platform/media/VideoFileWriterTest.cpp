#include "RecordingReader.h"
#include "platform/media/VideoFileWriter.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace {

std::vector<uint8_t> picture(int width, int height, int frame, bool smooth) {
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
            if (smooth) {
                p[0] = static_cast<uint8_t>(40 + 2 * x + frame);
                p[1] = static_cast<uint8_t>(30 + 2 * y);
                p[2] = static_cast<uint8_t>(200 - x - y);
                p[3] = 255;
            } else {
                const unsigned v = static_cast<unsigned>((x * 7919 + y * 104729 + frame * 31337) * 2654435761u);
                p[0] = v >> 24, p[1] = v >> 16, p[2] = v >> 8, p[3] = v;
            }
        }
    return rgba;
}

std::vector<uint8_t> cropped(const std::vector<uint8_t>& rgba, int fromWidth, int width, int height) {
    std::vector<uint8_t> out;
    for (int y = 0; y < height; ++y)
        out.insert(out.end(), rgba.begin() + y * fromWidth * 4, rgba.begin() + (y * fromWidth + width) * 4);
    return out;
}

TEST(VideoFileWriter, LosslessFileKeepsEveryPictureByteAndSoundSample) {
    TempDir dir;
    const std::string path = (dir.path() / "clip.mkv").string();
    const int w = 33, h = 17, frames = 10;
    std::string error;
    auto writer = VideoFileWriter::open({path, w, h, 29.97, 44100}, &error);
    ASSERT_TRUE(writer) << error;

    // Values a 24-bit track holds exactly, including both ends of the range.
    std::vector<float> sound(15000 * 2);
    for (size_t i = 0; i < sound.size(); ++i)
        sound[i] = static_cast<float>(std::lround(std::sin(i * 0.01) * 8388607.0 * (i % 2 ? 1 : -1))) / 8388608.0f;
    sound[0] = -1.0f, sound[1] = 8388607.0f / 8388608.0f;
    std::vector<std::vector<uint8_t>> given;
    size_t soundGiven = 0;
    for (int f = 0; f < frames; ++f) {
        given.push_back(picture(w, h, f, false));
        // Every other picture handed over bottom-up, as OpenGL reads them.
        const bool bottomUp = f % 2 == 1;
        const uint8_t* start = given.back().data() + (bottomUp ? (h - 1) * w * 4 : 0);
        std::vector<uint8_t> flipped;
        if (bottomUp) {
            for (int y = h - 1; y >= 0; --y)
                flipped.insert(flipped.end(), given.back().begin() + y * w * 4, given.back().begin() + (y + 1) * w * 4);
            start = flipped.data() + (h - 1) * w * 4;
        }
        ASSERT_TRUE(writer->writeVideo(f, {start, w, h, bottomUp ? -w * 4 : 0}, &error)) << error;
        const size_t chunk = f == frames - 1 ? sound.size() / 2 - soundGiven : 1400;  // more than the pictures need
        ASSERT_TRUE(writer->writeAudio(sound.data() + soundGiven * 2, chunk, &error)) << error;
        soundGiven += chunk;
    }
    ASSERT_TRUE(writer->finish(&error)) << error;
    EXPECT_EQ(writer->bytesWritten(), static_cast<int64_t>(std::filesystem::file_size(path)));

    const Recording r = readRecording(path);
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.videoCodec, "ffv1");
    EXPECT_EQ(r.audioCodec, "flac");
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
    EXPECT_NEAR(r.fps, 29.97, 1e-3);  // Matroska keeps times in milliseconds
    ASSERT_EQ(r.pictures.size(), given.size());
    for (int f = 0; f < frames; ++f) EXPECT_EQ(r.pictures[f], given[f]) << "frame " << f;
    // 10 frames at 29.97 fps: 14714.7 sound frames, rounded.
    ASSERT_EQ(r.sound.size(), 14715u * 2);
    EXPECT_TRUE(std::equal(r.sound.begin(), r.sound.end(), sound.begin()));
}

TEST(VideoFileWriter, H264FileIsPaddedToAnEvenSizeAndItsSoundLastsAsLongAsThePictures) {
    TempDir dir;
    const std::string path = (dir.path() / "clip.mp4").string();
    const int w = 65, h = 49, frames = 12;
    std::string error;
    auto writer = VideoFileWriter::open({path, w, h, 25, 44100}, &error);
    ASSERT_TRUE(writer) << error;
    std::vector<float> tone(4410 * 2);  // 0.1 s per call, 0.3 s in all: less than the pictures
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * static_cast<float>(std::sin(i * 0.03));
    std::vector<std::vector<uint8_t>> given;
    for (int f = 0; f < frames; ++f) {
        given.push_back(picture(w, h, f, true));
        ASSERT_TRUE(writer->writeVideo(f, {given.back().data(), w, h}, &error)) << error;
        if (f < 3) {
            ASSERT_TRUE(writer->writeAudio(tone.data(), tone.size() / 2, &error)) << error;
        }
    }
    ASSERT_TRUE(writer->finish(&error)) << error;

    const Recording r = readRecording(path);
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.videoCodec, "h264");
    EXPECT_EQ(r.audioCodec, "aac");
    EXPECT_EQ(r.width, 66);
    EXPECT_EQ(r.height, 50);
    EXPECT_NEAR(r.fps, 25, 1e-9);
    ASSERT_EQ(r.pictures.size(), given.size());
    for (int f = 0; f < frames; ++f)
        EXPECT_GE(psnr(cropped(r.pictures[f], 66, w, h), given[f]), 40) << "frame " << f;
    EXPECT_NEAR(r.duration, 0.48, 1.0 / 25);
    EXPECT_NEAR(r.soundSeconds(), 0.48, 1024.0 / 44100);  // within one AAC frame
}

TEST(VideoFileWriter, ASkippedFrameKeepsItsTimeAndAPictureOfAnotherShapeFitsBetweenBars) {
    TempDir dir;
    const std::string path = (dir.path() / "clip.mkv").string();
    std::string error;
    auto writer = VideoFileWriter::open({path, 16, 8, 10, 44100}, &error);
    ASSERT_TRUE(writer) << error;
    const std::vector<uint8_t> red = {255, 0, 0, 255}, green = {0, 255, 0, 255}, black = {0, 0, 0, 255};
    std::vector<uint8_t> wide, square;
    for (int i = 0; i < 16 * 8; ++i) wide.insert(wide.end(), red.begin(), red.end());
    for (int i = 0; i < 8 * 8; ++i) square.insert(square.end(), green.begin(), green.end());
    const std::vector<float> sound(20000 * 2, 0.25f);
    ASSERT_TRUE(writer->writeVideo(0, {wide.data(), 16, 8}, &error)) << error;
    ASSERT_TRUE(writer->writeAudio(sound.data(), sound.size() / 2, &error)) << error;
    ASSERT_TRUE(writer->writeVideo(2, {square.data(), 8, 8}, &error)) << error;  // frame 1 was dropped
    EXPECT_FALSE(writer->writeVideo(2, {square.data(), 8, 8}, &error));
    EXPECT_NE(error.find("frame 2 comes after frame 2"), std::string::npos) << error;
    writer.reset();  // the failure ended the recording

    writer = VideoFileWriter::open({path, 16, 8, 10, 44100}, &error);
    ASSERT_TRUE(writer->writeVideo(0, {wide.data(), 16, 8}, &error)) << error;
    ASSERT_TRUE(writer->writeAudio(sound.data(), sound.size() / 2, &error)) << error;
    ASSERT_TRUE(writer->writeVideo(2, {square.data(), 8, 8}, &error)) << error;
    ASSERT_TRUE(writer->finish(&error)) << error;

    const Recording r = readRecording(path);
    ASSERT_EQ(r.pictures.size(), 2u);
    EXPECT_EQ(r.sound.size(), 13230u * 2) << "three frames of sound at 10 fps";
    for (int x = 0; x < 16; ++x) {
        const auto& expected = x < 4 || x >= 12 ? black : green;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), r.pictures[1].begin() + (3 * 16 + x) * 4)) << x;
    }
}

TEST(VideoFileWriter, LivePicturesKeepTheTimesTheyWereShownAndTheSoundIsKeptWhole) {
    TempDir dir;
    const std::string path = (dir.path() / "live.mkv").string();
    std::string error;
    auto writer = VideoFileWriter::open({path, 4, 4, 60, 44100, VideoFileWriter::kDefaultQuality, true}, &error);
    ASSERT_TRUE(writer) << error;
    const auto plain = [](uint8_t r, uint8_t g, uint8_t b) {
        std::vector<uint8_t> rgba;
        for (int i = 0; i < 16; ++i) rgba.insert(rgba.end(), {r, g, b, 255});
        return rgba;
    };
    const auto red = plain(255, 0, 0), green = plain(0, 255, 0), blue = plain(0, 0, 255);
    const std::vector<float> sound(4410 * 2, 0.25f);
    // A show slower than its 60 fps: pictures 0.25 s and 0.35 s apart, sound
    // for 1.5 s, the last of it after the last picture.
    ASSERT_TRUE(writer->writeVideoAt(0.004, {red.data(), 4, 4}, &error)) << error;
    ASSERT_TRUE(writer->writeVideoAt(0.25, {green.data(), 4, 4}, &error)) << error;
    ASSERT_TRUE(writer->writeVideoAt(0.2502, {red.data(), 4, 4}, &error)) << "within a millisecond: left out";
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(writer->writeAudio(sound.data(), 4410, &error)) << error;
    ASSERT_TRUE(writer->writeVideoAt(0.6, {blue.data(), 4, 4}, &error)) << error;
    for (int i = 0; i < 9; ++i) ASSERT_TRUE(writer->writeAudio(sound.data(), 4410, &error)) << error;
    ASSERT_TRUE(writer->finish(&error)) << error;

    const Recording r = readRecording(path);
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.sound.size(), 15u * 4410 * 2) << "every sample, none cut at the last picture";
    EXPECT_NEAR(r.duration, 1.5, 0.002);
    // The last picture is shown again near the end, so both tracks end together.
    ASSERT_EQ(r.pictures.size(), 4u);
    EXPECT_EQ(r.pictures[0], red);
    EXPECT_EQ(r.pictures[1], green);
    EXPECT_EQ(r.pictures[2], blue);
    EXPECT_EQ(r.pictures[3], blue);
}

TEST(VideoFileWriter, RefusalsAndFailuresLeaveNoFileBehind) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(VideoFileWriter::open({(dir.path() / "clip.avi").string(), 8, 8, 25, 0}, &error));
    EXPECT_EQ(error, "cannot record to " + (dir.path() / "clip.avi").string() +
                         ": unknown extension \".avi\"; use .mp4 or .mov (H.264 and AAC) or .mkv (lossless FFV1 "
                         "and FLAC)");

    const std::string notAFolder = dir.write("file.txt", "x");
    const std::string unwritable = notAFolder + "/clip.mp4";
    EXPECT_FALSE(VideoFileWriter::open({unwritable, 8, 8, 25, 44100}, &error));
    EXPECT_EQ(error, "cannot record to " + unwritable + ": Not a directory");

    const std::string abandoned = (dir.path() / "abandoned.mkv").string();
    auto writer = VideoFileWriter::open({abandoned, 8, 8, 25, 44100}, &error);
    ASSERT_TRUE(writer) << error;
    const auto pixels = picture(8, 8, 0, true);
    ASSERT_TRUE(writer->writeVideo(0, {pixels.data(), 8, 8}, &error)) << error;
    EXPECT_GT(writer->bytesWritten(), 0);
    writer.reset();

    const std::string silent = (dir.path() / "silent.mov").string();
    writer = VideoFileWriter::open({silent, 8, 8, 25, 0}, &error);
    ASSERT_TRUE(writer) << error;
    ASSERT_TRUE(writer->writeVideo(0, {pixels.data(), 8, 8}, &error)) << error;
    ASSERT_TRUE(writer->finish(&error)) << error;
    EXPECT_FALSE(writer->writeVideo(1, {pixels.data(), 8, 8}, &error));

    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"file.txt", "silent.mov"}));
    const Recording r = readRecording(silent);
    EXPECT_EQ(r.videoCodec, "h264");
    EXPECT_EQ(r.audioCodec, "") << "no sound asked for, no audio track";
}

}  // namespace
