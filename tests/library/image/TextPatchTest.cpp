#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

// A saved image's bytes exactly as the patch made them (premultiplied).
struct Picture {
    png_uint_32 width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t* at(size_t x, size_t y) const { return &rgba[(y * width + x) * 4]; }
};

Picture readPicture(const std::string& path) {
    Picture picture;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return picture;
    png.format = PNG_FORMAT_RGBA;
    picture.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, picture.rgba.data(), 0, nullptr)) return {};
    picture.width = png.width;
    picture.height = png.height;
    return picture;
}

// Runs one frame of a single Text patch with these inputs and reads its image.
Picture drawText(const TempDir& dir, const std::string& inputs, CommandResult* result = nullptr) {
    const std::string doc = dir.write("text.json", R"({"patches": [{"id": "t", "class": "Text", "inputs": )" +
                                                       inputs + "}]}");
    const std::string saved = (dir.path() / "t-%d.png").string();
    const CommandResult r = runCommand(tembraProgram() + " --log stderr run " + doc + " --frames 1 --save t.outputImage=" +
                                       saved);
    if (result) *result = r;
    EXPECT_EQ(r.status, 0) << r.err;
    return readPicture((dir.path() / "t-0.png").string());
}

// The leftmost and rightmost columns with ink in rows [top, bottom).
std::pair<size_t, size_t> inkColumns(const Picture& p, size_t top, size_t bottom) {
    size_t left = p.width, right = 0;
    for (size_t y = top; y < bottom; ++y)
        for (size_t x = 0; x < p.width; ++x)
            if (p.at(x, y)[3] > 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

TEST(TextPatch, DrawsTheLettersInTheirColourPremultipliedOnTransparency) {
    TempDir dir;
    const Picture p = drawText(dir, R"({"inputString": "Hello", "inputFont": "DejaVu Sans Bold 48",
                                        "inputRed": 1, "inputGreen": 0.5, "inputBlue": 0, "inputAlpha": 1})");
    ASSERT_GT(p.width, 100u);
    ASSERT_GT(p.height, 40u);
    ASSERT_LT(p.height, 100u);
    size_t opaque = 0, clear = 0;
    for (size_t y = 0; y < p.height; ++y)
        for (size_t x = 0; x < p.width; ++x) {
            const uint8_t* px = p.at(x, y);
            // Premultiplied orange: red equals alpha, green half of it, no blue.
            ASSERT_EQ(px[0], px[3]) << x << "," << y;
            ASSERT_NEAR(px[1], px[3] / 2.0, 1.0) << x << "," << y;
            ASSERT_EQ(px[2], 0) << x << "," << y;
            opaque += px[3] == 255;
            clear += px[3] == 0;
        }
    EXPECT_GT(opaque, p.width * p.height / 10) << "letters are drawn";
    EXPECT_GT(clear, p.width * p.height / 3) << "around them is transparent";
    // The first row is the top: "Hello" has ink above its middle on the left (H, l) and none in the
    // top rows (above the ascenders' line there is only leading).
    for (size_t x = 0; x < p.width; ++x) EXPECT_EQ(p.at(x, 0)[3], 0) << "top row, column " << x;
}

TEST(TextPatch, AlignsAndWrapsLines) {
    TempDir dir;
    // Two lines, the second much shorter: it starts at the left, or ends at the right.
    const Picture left = drawText(dir, R"({"inputString": "WWWWWW\nii", "inputAlignment": 0})");
    ASSERT_GT(left.height, 0u);
    const auto [leftStart, leftEnd] = inkColumns(left, left.height / 2 + 2, left.height);
    EXPECT_LT(leftStart, left.width / 8);
    EXPECT_LT(leftEnd, left.width / 2);
    const Picture right = drawText(dir, R"({"inputString": "WWWWWW\nii", "inputAlignment": 2})");
    ASSERT_EQ(right.width, left.width);
    const auto [rightStart, rightEnd] = inkColumns(right, right.height / 2 + 2, right.height);
    EXPECT_GT(rightStart, right.width / 2);
    EXPECT_GT(rightEnd, right.width * 7 / 8);

    const std::string sentence = "a line long enough to need wrapping several times over";
    const Picture one = drawText(dir, R"({"inputString": ")" + sentence + R"(", "inputFont": "DejaVu Sans 20"})");
    const Picture wrapped = drawText(dir, R"({"inputString": ")" + sentence +
                                              R"(", "inputFont": "DejaVu Sans 20", "inputWrapWidth": 150})");
    ASSERT_GT(one.width, 300u);
    EXPECT_EQ(wrapped.width, 150u) << "as wide as the wrapping width";
    EXPECT_GT(wrapped.height, 2 * one.height) << "on several lines";
}

TEST(TextPatch, AHugeFontOrTextIsCutToWhatCanBeDrawnWithOneLogLine) {
    TempDir dir;
    CommandResult r;
    const Picture p = drawText(dir, R"({"inputString": "I", "inputFont": "DejaVu Sans 90000"})", &r);
    EXPECT_GT(p.height, 1000u);
    EXPECT_LE(p.height, 8192u);
    size_t lines = 0;
    for (size_t at = r.err.find("is drawn at 2048"); at != std::string::npos; at = r.err.find("is drawn at", at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << r.err;

    // A megabyte of text is cut to what can be laid out without stalling the show.
    std::string words;
    for (int i = 0; i < 200000; ++i) words += "word ";
    const Picture cut = drawText(dir, R"({"inputString": ")" + words + R"(", "inputWrapWidth": 300})", &r);
    EXPECT_EQ(cut.width, 300u);
    EXPECT_EQ(cut.height, 8192u);
    EXPECT_NE(r.err.find("the text has 1000000 bytes; the first 65536 are drawn"), std::string::npos) << r.err;
}

TEST(TextPatch, AnEmptyStringGivesNoImage) {
    TempDir dir;
    drawText(dir, R"({"inputString": ""})");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "t-0.png"));
}

}  // namespace
