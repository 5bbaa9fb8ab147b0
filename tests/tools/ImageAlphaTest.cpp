#include "tests/support/TestSupport.h"

#include "platform/graphics/PNGFile.h"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cmath>
#include <cstring>

namespace {

std::string tembra(const std::string& arguments) {
    return tembraProgram() + " --bundle " + bundlePath() + " --log none " + arguments;
}

using RGBA = std::array<int, 4>;

// Rows of straight-alpha pixels, as a paint program writes them.
void writeStraightPNG(const std::string& path, size_t width, const std::vector<RGBA>& rows) {
    const size_t height = rows.size();
    PageAlignedBuffer pixels(width * 4 * height);
    for (size_t y = 0; y < height; ++y)
        for (size_t x = 0; x < width; ++x)
            for (size_t c = 0; c < 4; ++c) pixels.data()[(y * width + x) * 4 + c] = static_cast<uint8_t>(rows[y][c]);
    const CGImageRef image = CGImageCreate(width, height, 8, width * 4, CGColorSpaceCreateDeviceRGB(),
                                           kCGImageAlphaLast, std::move(pixels));
    std::string error;
    ASSERT_TRUE(image && CGImageWriteToPNGFile(*image, path, &error)) << error;
}

// The file's own bytes, straight alpha, as any PNG reader sees them.
std::vector<uint8_t> fileRGBA(const std::string& path) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return {};
    png.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) return {};
    return pixels;
}

// Soft edges: the same colour at falling alpha, one pixel row each.
const std::vector<RGBA> kSoftRows = {
    {41, 120, 255, 0}, {41, 120, 255, 1}, {41, 120, 255, 64}, {200, 10, 90, 128}, {41, 120, 255, 200}, {7, 99, 250, 255},
};

TEST(ImageAlpha, ASoftEdgedPNGOverAColourGivesTheBlendedColour) {
    TempDir dir;
    // Bands 8 rows tall, drawn at the picture's own size: each band centre is
    // one texel of the file.
    std::vector<RGBA> rows;
    for (const RGBA& row : kSoftRows) rows.insert(rows.end(), 8, row);
    writeStraightPNG((dir.path() / "logo.png").string(), 48, rows);
    const std::string doc = dir.write("show.json", R"({"renderSize": [48, 48], "patches": [
        {"id": "clear", "class": "Clear", "inputs": {"inputRed": 0.4666667, "inputGreen": 0.2627451,
                                                     "inputBlue": 0.2352941, "inputAlpha": 1}},
        {"id": "logo", "class": "ImageFile", "inputs": {"inputPath": "logo.png"}},
        {"id": "show", "class": "Billboard"}],
        "connections": [{"from": "logo.outputImage", "to": "show.inputImage"}]})");
    const CommandResult r = runCommand(tembra("run " + doc + " --frames 1 --render " + (dir.path() / "f-%d.png").string()));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<uint8_t> frame = fileRGBA((dir.path() / "f-0.png").string());
    ASSERT_EQ(frame.size(), 48u * 48 * 4);
    const RGBA background{119, 67, 60, 255};
    for (size_t band = 0; band < kSoftRows.size(); ++band) {
        const RGBA& pixel = kSoftRows[band];
        const uint8_t* seen = &frame[((band * 8 + 4) * 48 + 24) * 4];
        for (int c = 0; c < 3; ++c) {
            const double a = pixel[3] / 255.0;
            const double expected = pixel[c] * a + background[c] * (1 - a);
            EXPECT_NEAR(seen[c], expected, 1.0) << "band " << band << " component " << c;
        }
    }
}

TEST(ImageAlpha, SavingALoadedPNGGivesTheFilesPixelsBack) {
    TempDir dir;
    std::vector<RGBA> rows = kSoftRows;
    rows.push_back({255, 255, 255, 2});
    rows.push_back({0, 0, 0, 0});
    const std::string original = (dir.path() / "soft.png").string();
    writeStraightPNG(original, 3, rows);
    const std::string doc = dir.write("doc.json", R"({"patches": [
        {"id": "image", "class": "ImageFile", "inputs": {"inputPath": "soft.png"}}]})");
    const CommandResult r = runCommand(
        tembra("run " + doc + " --frames 1 --save image.outputImage=" + (dir.path() / "saved-%d.png").string()));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<uint8_t> before = fileRGBA(original), after = fileRGBA((dir.path() / "saved-0.png").string());
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); i += 4) {
        const int alpha = before[i + 3];
        EXPECT_EQ(after[i + 3], alpha) << "pixel " << i / 4;
        if (alpha == 0) continue;  // no colour to keep
        // Premultiplying keeps alpha / 255 of a colour's precision.
        const double tolerance = alpha == 255 ? 0 : std::ceil(127.5 / alpha);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(after[i + c], before[i + c], tolerance) << "pixel " << i / 4;
    }
}

}  // namespace
