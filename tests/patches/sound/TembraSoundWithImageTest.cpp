#include "SoundPlayTesting.h"
#include "patches/sound/TembraSoundWithImage.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ImageRef soundImage(size_t width, size_t height, uint32_t bitmapInfo = kCGImageAlphaPremultipliedLast) {
    return makeImage(width, height, [](size_t row, size_t column) { return static_cast<uint8_t>(row * 50 + column); },
                     bitmapInfo);
}

class TembraSoundWithImageTest : public testing::Test {
protected:
    void run(const ImageRef& image) {
        patch.inputImage.setImageValue(image);
        EXPECT_TRUE(patch.execute(nullptr, 0, nullptr));
    }

    LogCapture log;
    std::shared_ptr<TestAudioDevice> device = useTestDevice(100);
    TembraSoundWithImage patch{"sound"};
};

TEST_F(TembraSoundWithImageTest, PlaysASoundImageAndPublishesTheCursor) {
    const ImageRef image = soundImage(512, 2);
    run(image);
    EXPECT_TRUE(log.contains("TembraSoundWithImage: inputImage update"));
    EXPECT_TRUE(log.contains("OSC Alloc"));
    EXPECT_EQ(device->startedProcCount(), 1u);
    const std::vector<float> out = device->pullCycle();
    EXPECT_EQ(out[2], sampleOf(1));
    EXPECT_EQ(out[3], sampleOf(51));
    for (int cycle = 0; cycle < 5; ++cycle) device->pullCycle();
    log.clear();
    run(image);  // the same object: no update, only the cursor
    EXPECT_FALSE(log.contains("TembraSoundWithImage: inputImage update"));
    EXPECT_EQ(patch.outputX.indexValue(), 88u);  // 600 frames into a 512-frame loop
    EXPECT_EQ(patch.outputY.indexValue(), 0u);
    EXPECT_FALSE(log.contains("Sinewave::setBitmapData()")) << "the same bitmap is not handed again";
}

TEST_F(TembraSoundWithImageTest, RejectsWhatIsNotASoundImageAndFallsSilent) {
    const struct {
        ImageRef image;
        std::string message;
    } cases[] = {
        {std::make_shared<const QCGLCGImage>(nullptr, nullptr), "No NSImage."},
        {soundImage(640, 2), "This image isn't 512 width."},
        {soundImage(512, 3), "This image's height isn't even."},
        {soundImage(512, 2, kCGImageAlphaPremultipliedFirst),
         "This image's bitmapFormat isn't zero.  I don't know how to deal with these yet."},
        {soundImage(512, 2, kCGImageAlphaLast),
         "This image's bitmapFormat isn't zero.  I don't know how to deal with these yet."},
    };
    for (const auto& c : cases) {
        run(soundImage(512, 2));
        ASSERT_EQ(device->startedProcCount(), 1u);
        log.clear();
        run(c.image);
        EXPECT_TRUE(log.contains("OSC Release")) << c.message;
        EXPECT_TRUE(log.contains(c.message)) << c.message;
        EXPECT_FALSE(log.contains("OSC Alloc")) << c.message;
        EXPECT_EQ(device->startedProcCount(), 0u) << c.message;
        EXPECT_EQ(patch.currentOscillator(), nullptr);
    }
}

TEST_F(TembraSoundWithImageTest, AValidImageAfterARejectedOnePlaysFromTheStart) {
    const ImageRef first = soundImage(512, 4);
    run(first);
    for (int cycle = 0; cycle < 7; ++cycle) device->pullCycle();
    run(first);
    EXPECT_EQ(patch.outputX.indexValue(), 188u);
    EXPECT_EQ(patch.outputY.indexValue(), 2u);
    run(soundImage(512, 3));
    run(first);
    EXPECT_EQ(log.count("OSC Alloc"), 2u);
    EXPECT_EQ(patch.outputX.indexValue(), 0u);
    EXPECT_EQ(patch.outputY.indexValue(), 0u);
    EXPECT_EQ(device->pullCycle()[1], sampleOf(50)) << "row 1, column 0";
}

TEST_F(TembraSoundWithImageTest, DestructionStopsTheSound) {
    {
        TembraSoundWithImage other("other");
        other.inputImage.setImageValue(soundImage(512, 2));
        other.execute(nullptr, 0, nullptr);
        EXPECT_EQ(device->startedProcCount(), 1u);
        other.disable(nullptr);
        other.cleanup(nullptr);
        EXPECT_EQ(device->startedProcCount(), 1u) << "disable and cleanup only log";
    }
    EXPECT_TRUE(log.contains("TembraSoundWithImage::dealloc()"));
    EXPECT_EQ(device->startedProcCount(), 0u);
    EXPECT_EQ(device->pullCycle(), std::vector<float>(200, 0.0f));
}

TEST(BitmapImageRepFromNSImage, FindsTheBitmapOrDrawsOne) {
    LogCapture log;
    const ImageRef image = soundImage(512, 2);
    const auto nsImage = image->NSImage();
    EXPECT_EQ(BitmapImageRepFromNSImage(*nsImage), nsImage->representations()[0]);
    EXPECT_TRUE(log.contains("TembraSoundWithImage::BitmapImageRepFromNSImage()"));

    // An image with only a picture representation gets a bitmap drawn from it.
    const NSImage picture({std::make_shared<const NSCGImageRep>(image->CGImage())});
    const auto drawn = BitmapImageRepFromNSImage(picture);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->pixelsWide(), 512);
    EXPECT_EQ(drawn->pixelsHigh(), 2);
    EXPECT_EQ(drawn->bitmapFormat(), 0u);
    EXPECT_EQ(drawn->bitmapData()[(1 * 512 + 3) * 4], 53);
    EXPECT_NE(BitmapImageRepFromNSImage(picture), drawn) << "drawn anew each time";
}

}  // namespace
