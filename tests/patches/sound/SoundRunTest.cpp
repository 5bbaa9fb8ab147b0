// `tembra run --audio wav:PATH`: a sound image from a PNG file, played into a
// WAV file whose length is the run's length.
#include "SoundPlayTesting.h"
#include "platform/graphics/PNGFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

uint8_t byteAt(size_t row, size_t column) { return static_cast<uint8_t>(row % 2 == 0 ? column % 200 + 20 : 250 - row * 3); }

TEST(SoundRun, APNGSoundImagePlaysIntoAWAVFileAsLongAsTheRun) {
    TempDir dir;
    const ImageRef image = makeImage(512, 6, byteAt);
    std::string error;
    ASSERT_TRUE(CGImageWriteToPNGFile(*image->CGImage(), (dir.path() / "image.png").string(), &error)) << error;
    const std::string composition = dir.write(
        "play.json",
        R"({"patches": [{"id": "sound", "class": "TembraSoundWithImage", "inputs": {"inputImage": "image.png"}}]})");
    const std::string wav = (dir.path() / "sub" / "out.wav").string();

    const CommandResult run = runCommand(tembraProgram() + " --log none run " + composition +
                                         " --duration 1.5 --fps 7 --audio wav:" + wav);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("deviceBufferSize = 4096\n"), std::string::npos) << run.err;

    // 11 frames at 7 fps stand for 11/7 s of sound.
    const std::vector<float> samples = readStereoWAV(wav);
    EXPECT_EQ(samples.size(), 69300u * 2);
    for (size_t frame = 0; frame < samples.size() / 2; ++frame) {
        const size_t inLoop = frame % 1536, pair = inLoop / 512, column = inLoop % 512;
        ASSERT_EQ(samples[2 * frame], sampleOf(byteAt(2 * pair, column))) << "frame " << frame;
        ASSERT_EQ(samples[2 * frame + 1], sampleOf(byteAt(2 * pair + 1, column))) << "frame " << frame;
    }
}

}  // namespace
