#include "patches/sound/TembraImageWithSoundFile.h"

#include "host/QCGLCGImage.h"
#include "tests/platform/media/TestSounds.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Pixel {
    uint8_t r, g, b, a;
};

Pixel pixelAt(const ImageRef& image, size_t x, size_t y) {
    const CGImage& picture = *image->CGImage();
    const uint8_t* p = picture.pixels.data() + y * picture.bytesPerRow + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

// The byte a pixel holds, after checking that it is an opaque grey.
int sampleAt(const ImageRef& image, size_t x, size_t y) {
    const Pixel p = pixelAt(image, x, y);
    EXPECT_TRUE(p.r == p.g && p.g == p.b && p.a == 255) << "pixel " << x << "," << y;
    return p.r;
}

}  // namespace

TEST(SoundImage, FramesFillRowPairsAndTheRestIsSilence) {
    TembraImageWithSoundFile patch("sound");
    LogCapture log;

    std::vector<float> samples(1024, 0.0f);
    samples[2 * 511] = 1.0f;
    samples[2 * 511 + 1] = -1.0f;
    auto image = patch.QCGLCGImageForSound(samples.data(), 1024);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelsWide(), 512u);
    EXPECT_EQ(image->pixelsHigh(), 2u);
    EXPECT_EQ(sampleAt(image, 511, 0), 255);
    EXPECT_EQ(sampleAt(image, 511, 1), 1);
    EXPECT_EQ(sampleAt(image, 510, 0), 128);
    EXPECT_EQ(image->CGImage()->bytesPerRow, 2048u);
    EXPECT_EQ(log.count("TembraImageWithSoundFile::QCGLCGImageForSound()"), 1u);

    // 513 frames begin a second row pair; what frame 512 leaves of it is
    // silence, as is a lone value of an odd count.
    samples.assign(1027, 0.25f);
    samples[2 * 512] = 0.5f;
    samples[2 * 512 + 1] = -0.5f;
    samples[1026] = 1.0f;
    image = patch.QCGLCGImageForSound(samples.data(), 1027);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelsHigh(), 4u);
    EXPECT_EQ(sampleAt(image, 511, 1), 159);
    EXPECT_EQ(sampleAt(image, 0, 2), 191);
    EXPECT_EQ(sampleAt(image, 0, 3), 64);
    for (size_t y : {2, 3})
        for (size_t x = 1; x < 512; ++x) ASSERT_EQ(sampleAt(image, x, y), 128) << x << "," << y;

    EXPECT_FALSE(patch.QCGLCGImageForSound(samples.data(), 0));
}

TEST(SoundImage, SamplesBecomeBytesClampedToTheByteRange) {
    TembraImageWithSoundFile patch("sound");
    LogCapture quiet;
    const std::vector<std::pair<float, int>> cases = {
        {0.0f, 128}, {1.0f, 255}, {-1.0f, 1}, {0.5f, 191}, {-0.5f, 64},   {1.01f, 255},
        {-1.01f, 0}, {3.0f, 255}, {-3.0f, 0}, {-1e9f, 0},  {NAN, 128},    {1e-9f, 128},
    };
    std::vector<float> samples;
    for (const auto& [sample, byte] : cases) samples.push_back(sample);
    const auto image = patch.QCGLCGImageForSound(samples.data(), static_cast<uint32_t>(samples.size()));
    ASSERT_TRUE(image);
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(sampleAt(image, i / 2, i % 2), cases[i].second) << "sample " << cases[i].first;
}

TEST(TembraImageWithSoundFile, ImportsOnEveryNewPathObjectOnly) {
    TempDir dir;
    const int rate = 8000;
    const std::string path = makeSoundFile(dir, "tone.wav", testSignal(rate, 2, 1.0), rate, 2);
    LogCapture log;
    TembraImageWithSoundFile patch("sound");
    patch.setup(nullptr);

    // Nothing set yet: an import of no path, which fails.
    patch.execute(nullptr, 0, nullptr);
    EXPECT_TRUE(log.contains("   -22"));
    EXPECT_EQ(patch.outputBlah.indexValue(), 0u);
    EXPECT_FALSE(patch.outputImage.imageValue());

    patch.inputSoundFilePath.setStringValue(newString(path));
    patch.execute(nullptr, 0, nullptr);
    const ImageRef first = patch.outputImage.imageValue();
    ASSERT_TRUE(first);
    EXPECT_EQ(patch.outputBlah.indexValue(), 2u * rate);
    EXPECT_EQ(first->pixelsWide(), 512u);
    EXPECT_EQ(first->pixelsHigh(), 32u);  // 8000 frames: 16 row pairs

    log.clear();
    patch.execute(nullptr, 1, nullptr);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"TembraImageWithSoundFile::execute()"});
    EXPECT_EQ(patch.outputImage.imageValue(), first);

    patch.inputSoundFilePath.setStringValue(newString(path));
    patch.execute(nullptr, 2, nullptr);
    EXPECT_EQ(log.count("TembraImageWithSoundFile::execute() new sound file"), 1u);
    EXPECT_NE(patch.outputImage.imageValue(), first);
    EXPECT_EQ(patch.outputBlah.indexValue(), 2u * rate);
}

TEST(TembraImageWithSoundFile, FailedOrEmptyImportShowsNoImageAndNoCount) {
    TempDir dir;
    const std::string tone = makeSoundFile(dir, "tone.wav", testSignal(8000, 2, 0.5), 8000, 2);
    const std::string empty = makeSoundFile(dir, "empty.wav", {}, 8000, 2);
    LogCapture log;
    TembraImageWithSoundFile patch("sound");
    patch.setup(nullptr);

    for (const std::string& path : {(dir.path() / "missing.wav").string(), empty}) {
        SCOPED_TRACE(path);
        patch.inputSoundFilePath.setStringValue(newString(tone));
        patch.execute(nullptr, 0, nullptr);
        ASSERT_TRUE(patch.outputImage.imageValue());

        log.clear();
        patch.inputSoundFilePath.setStringValue(newString(path));
        patch.execute(nullptr, 1, nullptr);
        EXPECT_EQ(patch.outputBlah.indexValue(), 0u);
        EXPECT_FALSE(patch.outputImage.imageValue());
        EXPECT_FALSE(log.contains("TembraImageWithSoundFile::QCGLCGImageForSound()"));
    }
}
