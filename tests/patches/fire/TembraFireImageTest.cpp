#include "FireTestSupport.h"
#include "host/QCGLCGImage.h"
#include "patches/fire/FireByteValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const uint8_t* pixelAt(const QCGLImagePort& port, int x, int y) {
    const CGImage& image = *port.imageValue()->CGImage();
    return image.pixels.data() + static_cast<size_t>(y) * image.bytesPerRow + 4 * static_cast<size_t>(x);
}

}  // namespace

// The values a step cannot be steered to exactly; the rest go through the
// patch below.
TEST(TembraFireImages, ByteValuesOfNonFiniteFields) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(fireByteValue(nan), 0);
    EXPECT_EQ(fireByteValue(inf), 255);
    EXPECT_EQ(fireByteValue(-inf), 0);
    EXPECT_EQ(fireByteValue(-5e9f), 0);
    EXPECT_EQ(fireVisibleAlpha(nan), 255);
    EXPECT_EQ(fireVisibleAlpha(1e12f), 0);
}

// Field values set straight into the grid come out in the images, row 0 at
// the top, visible colour not multiplied by its alpha.
TEST(TembraFireImages, PixelsFollowTheFieldsRowZeroAtTop) {
    TembraFire fire("fire");
    setSize(fire, 3, 2);
    step(fire);
    freezeChemistry(fire);
    FireGrid& g = *fire.fireGrid();
    const float heats[6] = {0.3f, 1.5f, -0.01f, 0.0f, 1e7f, 1.0f};
    const float oxygens[6] = {1.0f, 0.0f, 0.5f, 2.0f, -1.0f, 0.25f};
    for (int i = 0; i < 6; ++i) {
        g.heat[i] = heats[i];
        g.oxygen[i] = oxygens[i];
    }
    step(fire);

    const CGImage& heatImage = *fire.outputImageHeat.imageValue()->CGImage();
    EXPECT_EQ(heatImage.width, 3u);
    EXPECT_EQ(heatImage.height, 2u);
    EXPECT_EQ(heatImage.bytesPerRow, 12u);
    EXPECT_EQ(heatImage.bitsPerComponent, 8u);
    EXPECT_EQ(heatImage.bitmapInfo, static_cast<uint32_t>(kCGImageAlphaPremultipliedLast));
    const int heatBytes[6] = {76, 255, 0, 0, 255, 255};
    const int oxygenBytes[6] = {255, 0, 127, 255, 0, 63};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const int i = y * 3 + x;
            const uint8_t* h = pixelAt(fire.outputImageHeat, x, y);
            const uint8_t* o = pixelAt(fire.outputImageOxygen, x, y);
            const uint8_t* v = pixelAt(fire.outputImageVisible, x, y);
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(h[c], heatBytes[i]) << "heat " << x << "," << y;
                EXPECT_EQ(o[c], oxygenBytes[i]) << "oxygen " << x << "," << y;
                EXPECT_EQ(v[c], heatBytes[i]) << "visible " << x << "," << y;
            }
            EXPECT_EQ(h[3], 255);
            EXPECT_EQ(o[3], 255);
            EXPECT_EQ(v[3], 255 - oxygenBytes[i]) << "visible alpha " << x << "," << y;
        }
}

TEST(TembraFireImages, EveryStepMakesNewImagesThatOwnTheirPixels) {
    TembraFire fire("fire");
    EXPECT_FALSE(fire.outputImageHeat.imageValue());
    step(fire);
    const ImageRef heat = fire.outputImageHeat.imageValue();
    const ImageRef visible = fire.outputImageVisible.imageValue();
    ASSERT_TRUE(heat && visible);
    EXPECT_EQ(heat->pixelsWide(), 320u);
    EXPECT_EQ(heat->pixelsHigh(), 240u);

    // Writing the patch's buffer afterwards leaves the image as it was.
    FireGrid& g = *fire.fireGrid();
    const uint8_t before = heat->CGImage()->pixels.data()[0];
    g.bufHeat[0] = static_cast<uint8_t>(before + 1);
    EXPECT_EQ(heat->CGImage()->pixels.data()[0], before);

    step(fire);
    EXPECT_NE(fire.outputImageHeat.imageValue(), heat);
    EXPECT_NE(fire.outputImageVisible.imageValue(), visible);
    // The fuel image is declared but never set.
    EXPECT_FALSE(fire.outputImageFuel.imageValue());
}
