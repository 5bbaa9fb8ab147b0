// `tembra run --record`: what the recordings hold, read back with FFmpeg.
#include "tests/platform/media/RecordingReader.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/XServer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>

namespace {

std::string tembra(const std::string& arguments) {
    return tembraProgram() + " --bundle " + bundlePath() + " --log none " + arguments;
}

std::string example(const std::string& name) { return std::string(TEMBRA_SOURCE_DIR) + "/examples/" + name; }

std::string makeTone(const TempDir& dir) {
    const std::string tone = (dir.path() / "tone.wav").string();
    EXPECT_EQ(runCommand("sox -n -r 44100 -c 2 -b 16 " + tone + " synth 0.5 sine 440 sine 660").status, 0);
    return tone;
}

TEST(RecordCommand, LosslessRecordingHoldsExactlyThePicturesSaveWrites) {
    TempDir dir;
    const std::string out = (dir.path() / "clips" / "fire.mkv").string();
    const CommandResult r = runCommand(tembra("run " + example("fire.json") +
                                              " --frames 5 --show fire.outputImageVisible --record " + out +
                                              " --save fire.outputImageVisible=" + dir.path().string() + "/f-%d.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const Recording recording = readRecording(out);
    ASSERT_EQ(recording.error, "");
    EXPECT_EQ(recording.videoCodec, "ffv1");
    EXPECT_EQ(recording.audioCodec, "") << "a composition without sound has no audio track";
    ASSERT_EQ(recording.pictures.size(), 5u);
    for (size_t f = 0; f < 5; ++f)
        EXPECT_TRUE(recording.pictures[f] == pngPixels(dir.path().string() + "/f-" + std::to_string(f) + ".png"))
            << "frame " << f;
}

TEST(RecordCommand, H264RecordingIsCloseToTheRenderedFrames) {
    TempDir dir;
    const std::string out = (dir.path() / "gl.mp4").string();
    const CommandResult r = runCommand(tembra("run " + example("gltest.json") + " --frames 6 --fps 29.97 --record " +
                                              out + " --render " + dir.path().string() + "/g-%d.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const Recording recording = readRecording(out);
    ASSERT_EQ(recording.error, "");
    EXPECT_EQ(recording.videoCodec, "h264");
    EXPECT_NEAR(recording.fps, 29.97, 1e-9);
    EXPECT_NEAR(recording.duration, 6 / 29.97, 1e-3);
    ASSERT_EQ(recording.yuv.size(), 6u);
    for (size_t f = 0; f < 6; ++f) {
        const auto rendered = pngPixels(dir.path().string() + "/g-" + std::to_string(f) + ".png");
        EXPECT_GE(yuvPSNR(recording.yuv[f], rendered, 512, 512), 40) << "frame " << f;
        // Back in RGB, 4:2:0 blurs the colour of the sharp edges, and no more.
        EXPECT_GE(psnr(recording.pictures[f], rendered), 32) << "frame " << f;
    }
}

TEST(RecordCommand, SoundTrackHoldsTheSamplesTheWAVOutputWrites) {
    TempDir dir;
    const std::string tone = makeTone(dir);
    const std::string out = (dir.path() / "sound.mkv").string(), wav = (dir.path() / "sound.wav").string();
    const CommandResult r = runCommand(tembra("run " + example("sound.json") +
                                              " --duration 1 --fps 30 --show import.outputImage --audio wav:" + wav +
                                              " --record " + out + " --set import.inputSoundFilePath=" + tone));
    ASSERT_EQ(r.status, 0) << r.err;

    const std::vector<float> written = readStereoWAV(wav);
    ASSERT_EQ(written.size(), 44100u * 2);

    const Recording recording = readRecording(out);
    ASSERT_EQ(recording.error, "");
    EXPECT_EQ(recording.audioCodec, "flac");
    EXPECT_EQ(recording.pictures.size(), 30u);
    ASSERT_EQ(recording.sound.size(), written.size());
    // The lossless track keeps 24 bits: each sample rounded to the nearest step.
    size_t sounding = 0;
    for (size_t i = 0; i < written.size(); ++i) {
        const double step = std::clamp(std::nearbyint(written[i] * 8388608.0), -8388608.0, 8388607.0);
        ASSERT_EQ(recording.sound[i] * 8388608.0, step) << "sample " << i;
        sounding += written[i] != 0;
    }
    EXPECT_GT(sounding, written.size() / 2);
}

TEST(RecordCommand, PlayEncodesOnItsOwnThreadAndCountsWhatItDropped) {
    XServer x;
    if (!x.ok()) {
        if (std::getenv("CI")) FAIL() << x.error();
        GTEST_SKIP() << x.error();
    }
    TempDir dir;
    const std::string out = (dir.path() / "play.mkv").string();
    const CommandResult r = runCommand(x.environment() +
                                       tembra("play " + example("sound.json") +
                                              " --frames 12 --fps 30 --show import.outputImage --record " + out +
                                              " --set import.inputSoundFilePath=" + makeTone(dir)));
    ASSERT_EQ(r.status, 0) << r.err;
    std::smatch counts;
    ASSERT_TRUE(std::regex_search(r.err, counts, std::regex("tembra: recorded (\\d+) frames, dropped (\\d+)\n")))
        << r.err;
    const long recorded = std::stol(counts[1]), dropped = std::stol(counts[2]);
    EXPECT_EQ(recorded + dropped, 12);

    const Recording recording = readRecording(out);
    ASSERT_EQ(recording.error, "");
    EXPECT_EQ(static_cast<long>(recording.pictures.size()), recorded);
    EXPECT_EQ(recording.audioCodec, "flac");
    EXPECT_TRUE(std::any_of(recording.sound.begin(), recording.sound.end(), [](float s) { return s != 0; }));
}

// Seconds of the first stream of `type` ("v" or "a") as ffprobe reads them.
double streamSeconds(const std::string& file, const std::string& type) {
    const CommandResult r = runCommand("ffprobe -v error -select_streams " + type +
                                       ":0 -show_entries stream=duration -of csv=p=0 " + file);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out.empty() ? -1 : std::atof(r.out.c_str());
}

TEST(RecordCommand, PlayRecordingLastsAsLongAsTheShowWithItsSoundWhole) {
    XServer x("1920x1080x24");
    if (!x.ok()) {
        if (std::getenv("CI")) FAIL() << x.error();
        GTEST_SKIP() << x.error();
    }
    TempDir dir;
    const std::string doc = dir.write("show.json", R"({"renderSize": [1920, 1080], "patches": [
        {"id": "fire", "class": "TembraFire", "inputs": {"inputPixelsWide": 640, "inputPixelsHigh": 480,
         "inputReactionRateCoefficient": 0.2, "inputExothermicness": 3.0, "inputCoolRate": 0.98}},
        {"id": "import", "class": "TembraImageWithSoundFile"}, {"id": "sound", "class": "TembraSoundWithImage"}],
        "connections": [{"from": "import.outputImage", "to": "sound.inputImage"}]})");
    const std::string out = (dir.path() / "show.mp4").string();
    // A full-HD window read back and encoded live: slower than 60 fps here,
    // so frame numbers over 60 would give a much shorter file.
    const CommandResult r = runCommand(
        x.environment() + tembra("play " + doc + " --size 1920x1080 --frames 90 --fps 60 --show fire.outputImageVisible"
                                 " --watch fire.outputImageVisible --record " + out +
                                 " --set import.inputSoundFilePath=" + makeTone(dir)));
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(std::regex_search(r.err, std::regex("tembra: recorded \\d+ frames, dropped \\d+\n"))) << r.err;
    // The show's own account of when its last frame came.
    std::smatch last;
    ASSERT_TRUE(std::regex_search(r.out, last, std::regex("frame 89 t=([0-9.]+) "))) << r.out;
    const double shown = std::stod(last[1]) + 1.0 / 60;
    EXPECT_NEAR(streamSeconds(out, "v"), shown, shown * 0.1);
    EXPECT_NEAR(streamSeconds(out, "a"), shown, shown * 0.1);
}

TEST(RecordCommand, UnknownExtensionsAndUnwritableFilesGetOneLine) {
    TempDir dir;
    const std::string wav = (dir.path() / "sound.wav").string();
    CommandResult r = runCommand(tembra("run " + example("gltest.json") + " --audio wav:" + wav + " --record " +
                                        dir.path().string() + "/clip.avi"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tembra: --record: cannot record to " + dir.path().string() +
                         "/clip.avi: unknown extension \".avi\"; use .mp4 or .mov (H.264 and AAC) or .mkv (lossless "
                         "FFV1 and FLAC)\n");
    EXPECT_FALSE(std::filesystem::exists(wav)) << "refused before anything ran";

    r = runCommand(
        tembra("run " + example("gltest.json") + " --audio jack --record " + dir.path().string() + "/a.mp4"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

    const std::string notAFolder = dir.write("file.txt", "");
    r = runCommand(tembra("run " + example("gltest.json") + " --record " + notAFolder + "/sub/clip.mp4"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("tembra: cannot record to " + notAFolder + "/sub/clip.mp4: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

}  // namespace
