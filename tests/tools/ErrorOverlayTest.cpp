#include "tests/support/TestSupport.h"
#include "tests/tools/XServer.h"

#include "platform/graphics/PNGFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

// What the bottom of a frame shows: pixels of the error line's dark red band
// and of its light letters, and whether the rest of the picture is black.
struct Bottom {
    size_t band = 0, letters = 0;
    bool restBlack = true;
    bool read = false;
    uint8_t topLeft[3] = {0, 0, 0};
};

Bottom bottomOf(const std::string& path) {
    Bottom bottom;
    std::string error;
    const CGImageRef image = CGImageCreateWithPNGFile(path, &error);
    if (!image) return bottom;
    bottom.read = true;
    std::copy(image->pixels.data(), image->pixels.data() + 3, bottom.topLeft);
    const size_t from = image->height - image->height / 8;
    for (size_t y = 0; y < image->height; ++y)
        for (size_t x = 0; x < image->width; ++x) {
            const uint8_t* p = image->pixels.data() + y * image->bytesPerRow + x * 4;
            if (y < from) {
                bottom.restBlack = bottom.restBlack && p[0] == 0 && p[1] == 0 && p[2] == 0;
                continue;
            }
            bottom.band += p[0] > 90 && p[0] < 150 && p[1] < 40 && p[2] < 40;
            bottom.letters += p[0] > 200 && p[1] > 200 && p[2] > 190;
        }
    return bottom;
}

class ErrorLine : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x_.ok()) {
            if (std::getenv("CI")) FAIL() << x_.error();
            GTEST_SKIP() << x_.error();
        }
    }
    std::string play(const std::string& arguments) const {
        return x_.environment() + tembraProgram() + " --bundle " + bundlePath() + " play " + arguments;
    }
    std::string shown(long frame) const { return (dir_.path() / ("shown-" + std::to_string(frame) + ".png")).string(); }
    XServer x_;
    TempDir dir_;
};

const char* kBlack = R"({"renderSize": [320, 240], "patches": [{"id": "clear", "class": "Clear"}]})";

TEST_F(ErrorLine, ABrokenSaveShowsItsErrorAtTheBottomOfThePictureAndInTheTitle) {
    const std::string doc = dir_.write("doc.json", kBlack);
    BackgroundCommand player(play(doc + " --snapshot " + (dir_.path() / "shown-%d.png").string()),
                             (dir_.path() / "out").string(), (dir_.path() / "err").string());
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(shown(3)); }, std::chrono::seconds(30)))
        << readFile((dir_.path() / "err").string());
    EXPECT_EQ(bottomOf(shown(2)).band, 0u) << "no line before an error";

    dir_.write("doc.json", "{\"patches\": [\n{\"id\": \"clear\", \"class\": ");
    long frame = 3;
    Bottom seen;
    ASSERT_TRUE(waitFor([&] {
        while (std::filesystem::exists(shown(frame + 1))) {
            seen = bottomOf(shown(frame++));
            if (seen.band > 0) return true;
        }
        return false;
    }, std::chrono::seconds(20))) << readFile((dir_.path() / "err").string());
    EXPECT_GT(seen.band, 320u * 5) << "a band across the bottom";
    EXPECT_GT(seen.letters, 20u) << "with letters on it";
    EXPECT_TRUE(seen.restBlack) << "the old document still shows above it";
    EXPECT_TRUE(waitFor([&] {
        return runCommand("env DISPLAY=" + x_.display() + " xdotool search --name 'doc - error: .*doc.json:2'").status == 0;
    }, std::chrono::seconds(10))) << "the title names the error";

    // Fixed: the first frame of the new document has no line left.
    dir_.write("doc.json", R"({"renderSize": [320, 240], "patches": [{"id": "clear", "class": "Clear",
        "inputs": {"inputBlue": 1}}]})");
    ASSERT_TRUE(waitFor([&] {
        while (std::filesystem::exists(shown(frame + 1))) {
            seen = bottomOf(shown(frame++));
            if (seen.read && seen.topLeft[2] == 255) return true;
        }
        return false;
    }, std::chrono::seconds(20))) << readFile((dir_.path() / "err").string());
    EXPECT_EQ(seen.band, 0u) << "frame " << frame - 1;
    EXPECT_EQ(seen.letters, 0u);
    EXPECT_EQ(player.interruptAndWait(std::chrono::seconds(10)), 0);
}

TEST_F(ErrorLine, APatchsProblemIsShownInAWindowAndInFullScreenOnlyWithOverlay) {
    const std::string doc = dir_.write("missing.json", R"({"renderSize": [320, 240], "patches": [
        {"id": "clear", "class": "Clear"}, {"id": "logo", "class": "ImageFile", "inputs": {"inputPath": "gone.png"}}]})");
    const std::string pattern = " --frames 3 --snapshot " + (dir_.path() / "shown-%d.png").string();
    for (const auto& [options, expected] : std::vector<std::pair<std::string, bool>>{
             {"", true}, {" --fullscreen", false}, {" --fullscreen --overlay", true}}) {
        const CommandResult r = runCommand(play(doc + options + pattern));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("gone.png"), std::string::npos) << "in the log all the same: " << r.err;
        const Bottom bottom = bottomOf(shown(2));
        EXPECT_EQ(bottom.band > 0, expected) << options;
        EXPECT_EQ(bottom.letters > 0, expected) << options;
        EXPECT_TRUE(bottom.restBlack) << options;
    }
}

}  // namespace
