#include "host/QCGLCGImage.h"
#include "library/TembraLibraryLoader.h"
#include "patches/TembraPatchLoader.h"
#include "patches/gl/OfflineRenderer.h"
#include "platform/graphics/PNGFile.h"
#include "tests/platform/gl/GLTestSupport.h"
#include "tests/support/TestSupport.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr int kWidth = 17, kHeight = 8;

uint8_t red(int x, int) { return static_cast<uint8_t>(x * 15); }
uint8_t green(int, int y) { return static_cast<uint8_t>(y * 30); }
uint8_t blue(int x, int y) { return static_cast<uint8_t>(255 - x * 10 - y); }

// A picture that differs in every row and column, shown by a billboard that
// fills a frame of the same size exactly.
std::string writePictureComposition(const TempDir& dir) {
    CGContextRef bitmap = CGBitmapContextCreate(nullptr, kWidth, kHeight, 8, kWidth * 4,
                                                CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = bitmap->data + y * bitmap->bytesPerRow + x * 4;
            p[0] = red(x, y), p[1] = green(x, y), p[2] = blue(x, y), p[3] = 255;
        }
    std::string error;
    EXPECT_TRUE(CGImageWriteToPNGFile(*CGBitmapContextCreateImage(bitmap.get()),
                                      (dir.path() / "picture.png").string(), &error));
    return dir.write("picture.json", R"({
        "patches": [
            {"id": "image", "class": "ImageFile", "inputs": {"inputPath": "picture.png"}},
            {"id": "show", "class": "Billboard"}
        ],
        "connections": [{"from": "image.outputImage", "to": "show.inputImage"}]
    })");
}

class OfflineRendererTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        TembraPatchLoader::registerNodesWithManager(QCNodeManager::shared());
        TembraLibraryLoader::registerNodesWithManager(QCNodeManager::shared());
    }
    TempDir dir;
    LogCapture log;
};

}  // namespace

TEST_F(OfflineRendererTest, GivesNothingSilentlyWithoutPathOrSize) {
    EXPECT_FALSE(OfflineRenderer::init());
    const std::string file = dir.write("clear.json", R"({"patches": [{"id": "c", "class": "Clear"}]})");
    EXPECT_FALSE(OfflineRenderer::initWithCompositionPath("", 64, 64));
    EXPECT_FALSE(OfflineRenderer::initWithCompositionPath(file, 0, 64));
    EXPECT_FALSE(OfflineRenderer::initWithCompositionPath(file, 64, 0));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(OfflineRendererTest, LogsOnceForACompositionThatCannotBeLoaded) {
    TEMBRA_REQUIRE_GL();
    EXPECT_FALSE(OfflineRenderer::initWithCompositionPath((dir.path() / "missing.json").string(), 32, 32));
    EXPECT_EQ(log.count("Cannot create QCRenderer"), 1u);
    EXPECT_FALSE(OfflineRenderer::initWithCompositionPath(dir.write("broken.json", "{\"patches\": [}"), 32, 32));
    EXPECT_EQ(log.count("Cannot create QCRenderer"), 2u);
    EXPECT_EQ(log.lines().size(), 2u);
}

TEST_F(OfflineRendererTest, ReturnsTheRenderedPictureUprightInPaddedRows) {
    TEMBRA_REQUIRE_GL();
    auto renderer = OfflineRenderer::initWithCompositionPath(writePictureComposition(dir), kWidth, kHeight);
    ASSERT_TRUE(renderer);
    EXPECT_EQ(renderer->scratchBufferRowBytes(), 128u);
    const ImageRef image = renderer->QCGLCGImageForTime(0.0);
    ASSERT_TRUE(image);
    const CGImage& picture = *image->CGImage();
    ASSERT_EQ(picture.width, static_cast<size_t>(kWidth));
    ASSERT_EQ(picture.height, static_cast<size_t>(kHeight));
    ASSERT_EQ(picture.bytesPerRow, 128u);
    EXPECT_EQ(picture.bitmapInfo, kCGImageAlphaPremultipliedLast);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = picture.pixels.data() + y * picture.bytesPerRow + x * 4;
            ASSERT_LE(std::abs(p[0] - red(x, y)), 1) << x << "," << y;
            ASSERT_LE(std::abs(p[1] - green(x, y)), 1) << x << "," << y;
            ASSERT_LE(std::abs(p[2] - blue(x, y)), 1) << x << "," << y;
            ASSERT_EQ(p[3], 255);
        }
    // Every image has its own pixels.
    const ImageRef second = renderer->QCGLCGImageForTime(1.0);
    ASSERT_TRUE(second);
    EXPECT_NE(second->CGImage()->pixels.data(), picture.pixels.data());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(OfflineRendererTest, AFailedRenderGivesNoImageAndTheNextTimeWorks) {
    TEMBRA_REQUIRE_GL();
    const std::string file = dir.write("clear.json", R"({"patches": [{"id": "c", "class": "Clear", "inputs": {"inputRed": 1}}]})");
    auto renderer = OfflineRenderer::initWithCompositionPath(file, 5, 3);
    ASSERT_TRUE(renderer);
    EXPECT_FALSE(renderer->QCGLCGImageForTime(std::nan("")));
    const ImageRef image = renderer->QCGLCGImageForTime(0.25);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->CGImage()->pixels.data()[0], 255);
    // Its context is never left current on the caller's thread.
    EXPECT_EQ(CGLGetCurrentContext(), nullptr);
}

TEST_F(OfflineRendererTest, RefusesACompositionThatRendersItself) {
    TEMBRA_REQUIRE_GL();
    const std::string self = dir.write("self.json", R"({"patches": [
        {"id": "me", "class": "TembraImageWithComposition",
         "inputs": {"inputCompositionPath": "self.json", "inputPixelsWide": 8, "inputPixelsHigh": 8}}]})");
    auto renderer = OfflineRenderer::initWithCompositionPath(self, 8, 8);
    ASSERT_TRUE(renderer);
    EXPECT_TRUE(renderer->QCGLCGImageForTime(0.0));
    EXPECT_EQ(log.count("Cannot create QCRenderer"), 1u);
    // The refused renderer is not tried again at the next time.
    EXPECT_TRUE(renderer->QCGLCGImageForTime(0.1));
    EXPECT_EQ(log.count("Cannot create QCRenderer"), 1u);

    // Through another file: a renders b, which renders a.
    log.clear();
    dir.write("b.json", R"({"patches": [{"id": "b", "class": "TembraImageWithComposition",
        "inputs": {"inputCompositionPath": "a.json", "inputPixelsWide": 4, "inputPixelsHigh": 4}}]})");
    const std::string a = dir.write("a.json", R"({"patches": [{"id": "a", "class": "TembraImageWithComposition",
        "inputs": {"inputCompositionPath": "b.json", "inputPixelsWide": 4, "inputPixelsHigh": 4}}]})");
    auto outer = OfflineRenderer::initWithCompositionPath(a, 4, 4);
    ASSERT_TRUE(outer);
    EXPECT_TRUE(outer->QCGLCGImageForTime(0.0));
    EXPECT_EQ(log.count("Cannot create QCRenderer"), 1u);
}
