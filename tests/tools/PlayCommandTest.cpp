#include "tests/support/TestSupport.h"
#include "tests/tools/XServer.h"

#include "platform/graphics/PNGFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>

namespace {

std::string tembra(const std::string& arguments) {
    return tembraProgram() + " --bundle " + bundlePath() + " " + arguments;
}

CGImageRef readPNG(const std::string& path) {
    std::string error;
    CGImageRef image = CGImageCreateWithPNGFile(path, &error);
    EXPECT_TRUE(image) << error;
    return image;
}

// What a person sees: red, green and blue of every pixel (alpha is not
// shown on a screen).
std::vector<uint8_t> colours(const CGImage& image) {
    std::vector<uint8_t> rgb;
    for (size_t y = 0; y < image.height; ++y)
        for (size_t x = 0; x < image.width; ++x)
            for (size_t c = 0; c < 3; ++c) rgb.push_back(image.pixels.data()[y * image.bytesPerRow + x * 4 + c]);
    return rgb;
}

bool rowIsBlack(const CGImage& image, size_t y) {
    for (size_t x = 0; x < image.width * 4; ++x)
        if (x % 4 != 3 && image.pixels.data()[y * image.bytesPerRow + x] != 0) return false;
    return true;
}

class Play : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x_.ok()) {
            if (std::getenv("CI")) FAIL() << x_.error();
            GTEST_SKIP() << x_.error();
        }
    }
    std::string onDisplay(const std::string& arguments) const {
        return x_.environment() + tembra(arguments);
    }
    XServer x_;
    TempDir dir_;
};

TEST_F(Play, ShowsWhatRunRenders) {
    for (const std::string example : {"gltest.json", "composition.json"}) {
        const std::string file = std::string(TEMBRA_SOURCE_DIR) + "/examples/" + example;
        const std::string rendered = (dir_.path() / "run-%d.png").string();
        const std::string shown = (dir_.path() / "play-%d.png").string();
        const CommandResult run = runCommand(tembra("--log none run " + file + " --frames 3 --render " + rendered));
        ASSERT_EQ(run.status, 0) << run.err;
        const CommandResult play = runCommand(onDisplay("--log none play " + file + " --frames 3 --snapshot " + shown));
        ASSERT_EQ(play.status, 0) << play.err;
        for (int frame = 0; frame < 3; ++frame) {
            const auto expected = readPNG((dir_.path() / ("run-" + std::to_string(frame) + ".png")).string());
            const auto actual = readPNG((dir_.path() / ("play-" + std::to_string(frame) + ".png")).string());
            ASSERT_TRUE(expected && actual);
            EXPECT_EQ(actual->width, expected->width) << example;
            EXPECT_EQ(actual->height, expected->height) << example;
            EXPECT_TRUE(colours(*actual) == colours(*expected)) << example << " frame " << frame;
        }
    }
}

TEST_F(Play, AWindowDrawsTheShadersTexturesWithoutReadingThemBack) {
    const CommandResult r = runCommand(onDisplay("--log stderr play " + std::string(TEMBRA_SOURCE_DIR) +
                                                 "/examples/feedback.json --frames 5 --stats"));
    ASSERT_EQ(r.status, 0) << r.err;
    // One upload per frame: the GLTest picture rendered off screen into memory.
    EXPECT_NE(r.err.find("5 uploads, 0 read-backs"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("shares no textures"), std::string::npos) << r.err;
}

TEST_F(Play, ShowLetterboxesAnImageOutputIntoTheWindow) {
    const std::string shown = (dir_.path() / "shown-%d.png").string();
    const CommandResult r = runCommand(onDisplay(
        "--log none play " + std::string(TEMBRA_SOURCE_DIR) +
        "/examples/fire.json --show fire.outputImageHeat --size 400x400 --frames 1 --snapshot " + shown));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto image = readPNG((dir_.path() / "shown-0.png").string());
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, 400u);
    ASSERT_EQ(image->height, 400u);
    // 640x480 fits as 400x300: black bars of 50 rows above and below.
    for (size_t y : {0, 49, 350, 399}) EXPECT_TRUE(rowIsBlack(*image, y)) << "row " << y;
    for (size_t y : {50, 200, 349}) EXPECT_FALSE(rowIsBlack(*image, y)) << "row " << y;
}

// Distinct red values in the picture: a fire just (re)started shows one or
// two; one that has burnt for 20 frames, a few dozen.
size_t distinctReds(const CGImage& image) {
    std::set<uint8_t> reds;
    for (size_t y = 0; y < image.height; ++y)
        for (size_t x = 0; x < image.width; ++x) reds.insert(image.pixels.data()[y * image.bytesPerRow + x * 4]);
    return reds.size();
}

TEST_F(Play, ReloadKeepsAPatchsStateAndABrokenSaveKeepsTheOldDocument) {
    const auto fire = [](const char* coolRate) {
        return std::string(R"({"renderSize": [64, 48], "patches": [{"id": "fire", "class": "TembraFire",
            "inputs": {"inputPixelsWide": 64, "inputPixelsHigh": 48, "inputReactionRateCoefficient": 0.2,
            "inputExothermicness": 3.0, "inputCoolRate": )") + coolRate + "}}]}";
    };
    const std::string doc = dir_.write("doc.json", fire("0.98"));
    const std::string out = (dir_.path() / "out").string(), err = (dir_.path() / "err").string();
    const auto heat = [&](long frame) { return (dir_.path() / ("heat-" + std::to_string(frame) + ".png")).string(); };
    BackgroundCommand play(onDisplay("play " + doc + " --watch fire.inputCoolRate --save fire.outputImageHeat=" +
                                     (dir_.path() / "heat-%d.png").string()),
                           out, err);
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(heat(20)); }, std::chrono::seconds(30))) << readFile(err);

    // Saved as editors do: a new file renamed over the old one.
    dir_.write("doc.json.new", fire("0.97"));
    std::filesystem::rename(dir_.path() / "doc.json.new", doc);
    std::smatch reloaded;
    std::string printed;  // outlives `reloaded`, which points into it
    const std::regex line("frame (\\d+) t=[0-9.]+ fire.inputCoolRate = 0.97\n");
    ASSERT_TRUE(waitFor([&] {
        printed = readFile(out);
        return std::regex_search(printed, reloaded, line);
    }, std::chrono::seconds(10))) << readFile(out) << readFile(err);
    const long first = std::stol(reloaded[1]);
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(heat(first + 1)); }, std::chrono::seconds(10)));
    const auto afterReload = readPNG(heat(first));
    ASSERT_TRUE(afterReload);
    EXPECT_GT(distinctReds(*afterReload), 5u) << "the fire started again at frame " << first;

    dir_.write("doc.json", "{\"patches\": [\n{\"id\": \"fire\", \"class\": ");
    ASSERT_TRUE(waitFor([&] { return readFile(err).find(doc + ":2:") != std::string::npos; }, std::chrono::seconds(10)))
        << readFile(err);
    // The old document keeps running.
    long last = first;
    while (std::filesystem::exists(heat(last + 1))) ++last;
    EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(heat(last + 10)); }, std::chrono::seconds(10)));
    EXPECT_EQ(play.interruptAndWait(std::chrono::seconds(10)), 0);
    const std::string log = readFile(err);
    size_t errors = 0;
    for (size_t at = log.find(doc + ":"); at != std::string::npos; at = log.find(doc + ":", at + 1)) ++errors;
    EXPECT_EQ(errors, 1u) << log;
}

TEST_F(Play, TheWindowIsOnTheScreen) {
    const std::string doc = dir_.write("magenta.json", R"({"patches": [{"id": "clear", "class": "Clear",
        "inputs": {"inputRed": 1, "inputGreen": 0, "inputBlue": 1, "inputAlpha": 1}}]})");
    BackgroundCommand play(onDisplay("--log none play " + doc + " --size 200x150"), (dir_.path() / "out").string(),
                           (dir_.path() / "err").string());
    const std::string screen = (dir_.path() / "screen.xwd").string();
    // Magenta pixels on the whole screen, from an xwd dump: a big-endian
    // header, the colour map, then rows of 24- or 32-bit pixels.
    const auto magentaPixels = [&]() -> size_t {
        if (std::system(("xwd -root -silent -display " + x_.display() + " -out " + screen).c_str()) != 0) return 0;
        const std::string dump = readFile(screen);
        const auto* bytes = reinterpret_cast<const uint8_t*>(dump.data());
        const auto field = [&](size_t i) {
            return uint32_t(bytes[i * 4]) << 24 | uint32_t(bytes[i * 4 + 1]) << 16 | uint32_t(bytes[i * 4 + 2]) << 8 |
                   bytes[i * 4 + 3];
        };
        if (dump.size() < 100) return 0;
        const uint32_t headerSize = field(0), width = field(4), height = field(5), byteOrder = field(7),
                       pixelBytes = field(11) / 8, bytesPerLine = field(12), red = field(14), green = field(15),
                       blue = field(16), colours = field(19);
        const size_t start = headerSize + size_t(colours) * 12;
        if ((pixelBytes != 3 && pixelBytes != 4) || dump.size() < start + size_t(bytesPerLine) * height) return 0;
        size_t count = 0;
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = bytes + start + size_t(y) * bytesPerLine + size_t(x) * pixelBytes;
                uint32_t pixel = 0;
                for (uint32_t b = 0; b < pixelBytes; ++b)
                    pixel |= uint32_t(p[b]) << (8 * (byteOrder == 0 ? b : pixelBytes - 1 - b));
                if ((pixel & red) == red && (pixel & green) == 0 && (pixel & blue) == blue) ++count;
            }
        return count;
    };
    size_t seen = 0;
    EXPECT_TRUE(waitFor([&] { return (seen = magentaPixels()) >= 200u * 150u; }, std::chrono::seconds(20)))
        << seen << " magenta pixels on the screen";
    EXPECT_EQ(play.interruptAndWait(std::chrono::seconds(10)), 0);
}

TEST_F(Play, OpensFullScreenOnTheDisplayAskedFor) {
    CommandResult r = runCommand(onDisplay("play --list-displays"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::regex_match(r.out, std::regex("0 1024x768 [^\n]*\n"))) << r.out;

    const std::string gltest = std::string(TEMBRA_SOURCE_DIR) + "/examples/gltest.json";
    r = runCommand(onDisplay("--log none play " + gltest + " --display 5 --frames 1"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tembra: --display 5: there is 1 display (0); tembra play --list-displays lists them\n");

    const std::string shown = (dir_.path() / "shown-%d.png").string();
    r = runCommand(onDisplay("--log none play " + gltest + " --display 0 --fullscreen --frames 5 --snapshot " + shown));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto image = readPNG((dir_.path() / "shown-4.png").string());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 1024u) << "the whole display";
    EXPECT_EQ(image->height, 768u);
}

TEST(PlayWithoutAWindow, SaysWhyInOneLine) {
    TempDir dir;
    const std::string gltest = std::string(TEMBRA_SOURCE_DIR) + "/examples/gltest.json";
    const std::string text = dir.write("text.json", R"({"patches": [{"id": "t", "class": "TembraStringWithFile"}]})");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"env -u DISPLAY -u WAYLAND_DISPLAY " + tembra("--log none play " + gltest),
         "tembra: no display: set DISPLAY or WAYLAND_DISPLAY, or use tembra run --render\n"},
        {tembra("--log none play " + text), "tembra: " + text + ": nothing to show: no patch draws and none has an image output\n"},
    };
    for (const auto& [command, message] : cases) {
        const CommandResult r = runCommand(command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err, message);
    }
}

}  // namespace
