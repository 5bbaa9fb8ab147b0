// MovieFile through `tembra run`, on clips made with `ffmpeg -f lavfi`.
#include "tests/library/media/MediaTesting.h"
#include "tests/platform/media/RecordingReader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string movieDocument(const std::string& path, const std::string& inputs = "") {
    return R"({"patches": [{"id": "m", "class": "MovieFile", "inputs": {"inputPath": ")" + path + "\"" + inputs +
           "}}]}";
}

std::string frameFile(const TempDir& dir, long frame) {
    char name[32];
    std::snprintf(name, sizeof name, "/f-%04ld.png", frame);
    return dir.path().string() + name;
}

TEST(MovieFile, FrameNIsFFmpegsOwnFrameN) {
    TempDir dir;
    const std::string lossless = (dir.path() / "lossless.mkv").string(), h264 = (dir.path() / "h264.mp4").string();
    makeMedia("ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=10 -t 2 -c:v ffv1 -pix_fmt bgr0 " + lossless);
    makeMedia("ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=10 -t 2 -c:v libx264 -crf 16 -g 7 -bf 2 "
              "-pix_fmt yuv420p " + h264);
    for (const std::string& clip : {lossless, h264}) {
        const auto r = runDocument(dir, movieDocument(clip),
                                   "--fps 10 --frames 20 --save m.outputImage=" + dir.path().string() + "/f-%04d.png");
        ASSERT_EQ(r.status, 0) << r.err;
        const auto expected = ffmpegPictures(clip, 160, 120, 20);
        ASSERT_EQ(expected.size(), 20u);
        for (long f = 0; f < 20; ++f) {
            const auto shown = pngPixels(frameFile(dir, f));
            if (clip == lossless)
                EXPECT_TRUE(shown == expected[static_cast<size_t>(f)]) << "frame " << f;
            else
                EXPECT_GE(psnr(shown, expected[static_cast<size_t>(f)]), 45.0) << "frame " << f;
        }
    }
}

TEST(MovieFile, SeeksAndBackwardsPlayLandOnTheExactFrame) {
    TempDir dir;
    const std::string clip = (dir.path() / "clip.mp4").string();
    // Keyframes every 12 pictures: a seek must decode on from the one before.
    makeMedia("ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=10 -t 3 -c:v libx264 -crf 16 -g 12 "
              "-pix_fmt yuv420p " + clip);
    const auto expected = ffmpegPictures(clip, 160, 120, 30);
    ASSERT_EQ(expected.size(), 30u);
    // From 2.3 s backwards at the clip's own speed: pictures 23, 22, 21, ...
    const auto r = runDocument(dir, movieDocument(clip, R"(, "inputPosition": 2.3, "inputRate": -1)"),
                               "--fps 10 --frames 8 --watch m.outputPosition --save m.outputImage=" +
                                   dir.path().string() + "/f-%04d.png");
    ASSERT_EQ(r.status, 0) << r.err;
    for (long f = 0; f < 8; ++f)
        EXPECT_GE(psnr(pngPixels(frameFile(dir, f)), expected[static_cast<size_t>(23 - f)]), 45.0) << "frame " << f;
    // Paused at 1.3 s the picture holds at 13.
    const auto paused = runDocument(dir, movieDocument(clip, R"(, "inputPosition": 1.3, "inputPlaying": false)"),
                                    "--fps 10 --frames 3 --save m.outputImage=" + dir.path().string() + "/f-%04d.png");
    ASSERT_EQ(paused.status, 0) << paused.err;
    for (long f = 0; f < 3; ++f) EXPECT_GE(psnr(pngPixels(frameFile(dir, f)), expected[13]), 45.0) << "frame " << f;
}

TEST(MovieFile, TheRecordingHoldsTheMoviesSoundInStep) {
    TempDir dir;
    const std::string clip = (dir.path() / "clip.mkv").string(), out = (dir.path() / "out.mkv").string();
    makeMedia("ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=25 -f lavfi -i "
              "\"sine=frequency=440:sample_rate=44100,volume=0.5\" -t 2 -ac 2 -c:v ffv1 -c:a flac " + clip);
    const std::string wav = (dir.path() / "clip.wav").string();
    makeMedia("ffmpeg -v error -i " + clip + " -ac 2 -c:a pcm_f32le " + wav);
    const auto r = runDocument(dir, movieDocument(clip, R"(, "inputLoop": false)"),
                               "--fps 25 --frames 50 --show m.outputImage --record " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    const Recording recording = readRecording(out);
    ASSERT_EQ(recording.error, "");
    ASSERT_EQ(recording.sampleRate, 44100);
    const std::vector<float> movie = readStereoWAV(wav);
    ASSERT_EQ(movie.size(), 2u * 88200);
    ASSERT_EQ(recording.sound.size(), movie.size()) << "two seconds of the movie, two of the recording";
    // The best alignment of the two tracks, within a frame either way.
    const long frame = 44100 / 25, span = 44100 / 2;
    long best = 0;
    double bestError = INFINITY;
    for (long offset = -frame; offset <= frame; ++offset) {
        double error = 0;
        for (long i = frame; i < frame + span; ++i) {
            const double d = recording.sound[static_cast<size_t>(2 * (i + offset))] - movie[static_cast<size_t>(2 * i)];
            error += d * d;
        }
        if (error < bestError) bestError = error, best = offset;
    }
    EXPECT_EQ(best, 0) << "samples off";
    EXPECT_LT(std::sqrt(bestError / span), 1e-4);
}

TEST(MovieFile, HostileFilesAreToldOnceAndShowNothing) {
    TempDir dir;
    dir.write("notes.mp4", "these are no pictures\n");
    makeMedia("sox -n -r 44100 -c 2 " + (dir.path() / "song.wav").string() + " synth 0.5 sine 440");
    makeMedia("ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=10 -t 2 -c:v libx264 -pix_fmt yuv420p " +
              (dir.path() / "whole.mp4").string());
    makeMedia("head -c 3000 " + (dir.path() / "whole.mp4").string() + " > " + (dir.path() / "cut.mp4").string());
    ASSERT_EQ(::mkfifo((dir.path() / "pipe.mp4").c_str(), 0600), 0);
    std::string patches;
    const char* names[] = {"notes.mp4", "song.wav", "cut.mp4", "pipe.mp4", "missing.mp4"};
    for (int i = 0; i < 5; ++i)
        patches += std::string(i ? "," : "") + R"({"id": "m)" + std::to_string(i) +
                   R"(", "class": "MovieFile", "inputs": {"inputPath": ")" + names[i] + "\"}}";
    const auto r = runDocument(dir, R"({"patches": [)" + patches + "]}", "--frames 10 --watch m3.outputImage");
    ASSERT_EQ(r.status, 0) << r.err;
    auto count = [&](const std::string& text) {
        size_t n = 0;
        for (size_t at = r.err.find(text); at != std::string::npos; at = r.err.find(text, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("MovieFile:"), 5u) << r.err;
    EXPECT_EQ(count("notes.mp4: not a movie or sound file FFmpeg reads"), 1u) << r.err;
    EXPECT_EQ(count("song.wav: has no video stream"), 1u) << r.err;
    EXPECT_EQ(count("cut.mp4: "), 1u) << r.err;
    EXPECT_EQ(count("pipe.mp4: is a FIFO, not a regular file"), 1u) << r.err;
    EXPECT_EQ(count("missing.mp4: No such file or directory"), 1u) << r.err;
    EXPECT_NE(r.out.find("frame 0 t=0.000 m3.outputImage = null"), std::string::npos) << r.out;
}

}  // namespace

namespace {

// The camera path, driven by a test pattern in place of a camera.
TEST(Camera, ShowsTheNewestPictureOfAnFFmpegInputAndTellsAMissingDeviceOnce) {
    TempDir dir;
    const auto r = runDocument(dir, R"({"patches": [
        {"id": "c", "class": "Camera", "inputs": {"inputDevice": "lavfi:testsrc2=size=320x240:rate=30"}},
        {"id": "gone", "class": "Camera", "inputs": {"inputDevice": "/dev/tembra-no-such-camera"}}]})",
                               "--realtime --fps 10 --frames 25 --watch c.outputImage --watch gone.outputImage --save c.outputImage=" +
                                   dir.path().string() + "/f-%04d.png");
    ASSERT_EQ(r.status, 0) << r.err;
    // The pattern moves: pictures saved a frame apart differ once it runs.
    const auto seen = watchedText(r.out, "c.outputImage");
    ASSERT_FALSE(seen.empty()) << r.out;
    EXPECT_EQ(seen.rbegin()->second, "image 320x240") << r.out;
    size_t shown = 0, changes = 0;
    std::vector<uint8_t> last;
    for (long f = 0; f < 25; ++f) {
        struct stat info;
        if (::stat(frameFile(dir, f).c_str(), &info) != 0) continue;
        auto pixels = pngPixels(frameFile(dir, f));
        ++shown;
        changes += !last.empty() && pixels != last;
        last = std::move(pixels);
    }
    EXPECT_GE(shown, 10u) << "pictures on many frames of 2.5 s";
    EXPECT_GE(changes, shown / 2) << "a new picture most frames";
    // Tried again each second, told once.
    size_t told = 0;
    for (size_t at = r.err.find("Camera: "); at != std::string::npos; at = r.err.find("Camera: ", at + 1)) ++told;
    EXPECT_EQ(told, 1u) << r.err;
    EXPECT_NE(r.err.find("Camera: v4l2:/dev/tembra-no-such-camera: No such file or directory"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("gone.outputImage = null"), std::string::npos);
}

}  // namespace

namespace {

// Live, a new path opens on the decoder's thread: the old picture stays on
// every frame until the new movie has one.
TEST(MovieFile, ANewPathLiveKeepsThePictureUntilTheNewMovieShows) {
    TempDir dir;
    const std::string small = (dir.path() / "small.mp4").string(), large = (dir.path() / "large.mkv").string();
    makeMedia("ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=25 -t 2 -c:v libx264 -pix_fmt yuv420p " + small);
    makeMedia("ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -t 2 -c:v ffv1 " + large);
    const auto r = runDocument(dir, R"({"patches": [
        {"id": "when", "class": "Expression", "expression": "t >= 0.5 ? 1 : 0"},
        {"id": "pick", "class": "SelectString", "inputs": {"inputSource0": ")" + small + R"(", "inputSource1": ")" + large + R"("}},
        {"id": "m", "class": "MovieFile"}],
        "connections": [{"from": "when.outputResult", "to": "pick.inputIndex"}, {"from": "pick.outputValue", "to": "m.inputPath"}]})",
                               "--realtime --fps 20 --frames 30 --watch m.outputImage");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto images = watchedText(r.out, "m.outputImage");
    long firstSmall = -1, firstLarge = -1;
    bool blankAfterShown = false;
    for (const auto& [frame, text] : images) {
        if (text == "image 160x120" && firstSmall < 0) firstSmall = frame;
        if (text == "image 320x240" && firstLarge < 0) firstLarge = frame;
        if (text == "null" && firstSmall >= 0) blankAfterShown = true;
    }
    ASSERT_GE(firstSmall, 0) << r.out;
    EXPECT_GE(firstLarge, 10) << "the second movie comes after the switch at 0.5 s\n" << r.out;
    EXPECT_FALSE(blankAfterShown) << r.out;
    EXPECT_EQ(r.err.find("MovieFile:"), std::string::npos) << r.err;
}

}  // namespace

namespace {

// The README's offline commands for the two examples: pictures and sound.
TEST(MediaExamples, MovieAndVisualiserRecordWithTheirSound) {
    TempDir dir;
    for (const std::string name : {"movie", "visualiser"}) {
        const std::string out = (dir.path() / (name + ".mp4")).string();
        const CommandResult r = runCommand(tembraProgram() + " --log stderr run " + TEMBRA_SOURCE_DIR + "/examples/" +
                                           name + ".json --duration 1 --fps 25 --record " + out);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("MovieFile:"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("AudioAnalysis:"), std::string::npos) << r.err;
        const Recording recording = readRecording(out);
        ASSERT_EQ(recording.error, "") << name;
        EXPECT_EQ(recording.pictures.size(), 25u) << name;
        EXPECT_EQ(recording.audioCodec, "aac") << name;
        double energy = 0;
        for (float s : recording.sound) energy += double(s) * s;
        EXPECT_GT(std::sqrt(energy / double(std::max<size_t>(recording.sound.size(), 1))), 0.05)
            << name << ": the chord is in the recording";
    }
}

}  // namespace
