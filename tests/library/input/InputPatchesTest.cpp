#include "tests/library/input/Child.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/XServer.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

std::string tembra(const std::string& arguments) { return tembraProgram() + " " + arguments; }

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(InputPatches, RunPlaysTheCompositionsKeysAndMouseAtTheirTimes) {
    TempDir dir;
    const std::string doc = dir.write("keys.json", R"({
  "patches": [
    {"id": "kb", "class": "Keyboard", "inputs": {"inputKey": "Space"}},
    {"id": "m", "class": "Mouse"}
  ],
  "inputEvents": [
    {"time": 0.1, "key": "space", "down": true},
    {"time": 0.1, "key": "space", "down": false},
    {"time": 0.2, "x": 0.5, "y": -0.25},
    {"time": 0.3, "button": "left", "down": true, "x": -1, "y": 0.75}
  ]
})");
    const CommandResult r = runCommand(tembra("--log none run " + doc + " --fps 10 --frames 5" +
                                              " --watch kb.outputDown --watch kb.outputPressed --watch m.outputX" +
                                              " --watch m.outputY --watch m.outputLeft --watch m.outputClick"));
    ASSERT_EQ(r.status, 0) << r.err;
    // Down and up before one frame: that frame shows it down, the next up.
    EXPECT_TRUE(has(r.out, "frame 1 t=0.100 kb.outputDown = true\n")) << r.out;
    EXPECT_TRUE(has(r.out, "frame 1 t=0.100 kb.outputPressed = true\n")) << r.out;
    EXPECT_TRUE(has(r.out, "frame 2 t=0.200 kb.outputDown = false\n")) << r.out;
    EXPECT_TRUE(has(r.out, "frame 2 t=0.200 kb.outputPressed = false\n")) << r.out;
    EXPECT_TRUE(has(r.out, "frame 2 t=0.200 m.outputX = 0.5\n")) << r.out;
    EXPECT_TRUE(has(r.out, "frame 2 t=0.200 m.outputY = -0.25\n")) << r.out;
    EXPECT_TRUE(has(r.out, "frame 3 t=0.300 m.outputX = -1\n")) << r.out;
    EXPECT_TRUE(has(r.out, "frame 3 t=0.300 m.outputLeft = true\n")) << r.out;
    EXPECT_TRUE(has(r.out, "frame 3 t=0.300 m.outputClick = true\n")) << r.out;
    EXPECT_TRUE(has(r.out, "frame 4 t=0.400 m.outputClick = false\n")) << r.out;
    EXPECT_FALSE(has(r.out, "frame 4 t=0.400 m.outputLeft")) << "the button stays down";
}

TEST(InputPatches, BadInputEventsAndKeyNamesAreNamed) {
    TempDir dir;
    const auto document = [&](const std::string& event, const std::string& key) {
        return dir.write("bad.json", "{\"patches\": [{\"id\": \"kb\", \"class\": \"Keyboard\", \"inputs\": {\"inputKey\": \"" +
                                         key + "\"}}],\n\"inputEvents\": [\n" + event + "\n]}");
    };
    CommandResult r = runCommand(tembra("run " + document(R"({"time": 1, "key": "spcae", "down": true})", "a")));
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(has(r.err, "bad.json:3: input event 1: unknown key \"spcae\"")) << r.err;
    EXPECT_TRUE(has(r.err, "\"space\"")) << r.err;
    r = runCommand(tembra("run " + document(R"({"time": 1, "kye": "a"})", "a")));
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(has(r.err, "bad.json:3: unknown key \"kye\"")) << r.err;
    r = runCommand(tembra("run " + document(R"({"time": -1, "key": "a", "down": true})", "a")));
    EXPECT_TRUE(has(r.err, "bad.json:3: input event 1: \"time\" must be a non-negative number")) << r.err;
    r = runCommand(tembra("run " + document(R"({"time": 1, "button": "left"})", "a")));
    EXPECT_TRUE(has(r.err, "\"down\" must be true or false")) << r.err;

    // A patch's unknown key is said once and the show goes on.
    r = runCommand(tembra("run " + document(R"({"time": 0, "key": "a", "down": true})", "spacebar") +
                          " --frames 3 --watch kb.outputDown"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.err, "Keyboard \"kb\": unknown key \"spacebar\"")) << r.err;
    EXPECT_EQ(r.err.find("unknown key"), r.err.rfind("unknown key")) << r.err;
}

class PlayInput : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x_.ok()) {
            if (std::getenv("CI")) FAIL() << x_.error();
            GTEST_SKIP() << x_.error();
        }
        if (runCommand("command -v xdotool").status != 0) {
            if (std::getenv("CI")) FAIL() << "xdotool is missing";
            GTEST_SKIP() << "xdotool is missing";
        }
    }
    CommandResult xdotool(const std::string& arguments) const {
        return runCommand("env DISPLAY=" + x_.display() + " xdotool " + arguments);
    }
    XServer x_;
    TempDir dir_;
};

TEST_F(PlayInput, KeysAndTheMouseInARealWindowAndAKeyTheCompositionTakes) {
    // "q" is the window's quit key, but this composition listens to it.
    const std::string doc = dir_.write("keys.json", R"({"renderSize": [640, 480], "patches": [
        {"id": "clear", "class": "Clear"},
        {"id": "ka", "class": "Keyboard", "inputs": {"inputKey": "a"}},
        {"id": "kq", "class": "Keyboard", "inputs": {"inputKey": "q"}},
        {"id": "m", "class": "Mouse"}]})");
    const std::string out = (dir_.path() / "out").string(), err = (dir_.path() / "err").string();
    Child play(x_.environment() + tembra("play " + doc +
                                         " --watch ka.outputDown --watch kq.outputPressed --watch m.outputX"
                                         " --watch m.outputY --watch m.outputClick"),
               out, err);
    std::string window;
    ASSERT_TRUE(waitFor([&] {
        const CommandResult found = xdotool("search --onlyvisible --name '^keys'");
        window = found.out.substr(0, found.out.find('\n'));
        return found.status == 0 && !window.empty();
    }, std::chrono::seconds(30))) << readFile(err);

    // Into the window, so that the keys go to it.
    ASSERT_EQ(xdotool("mousemove --window " + window + " 480 120").status, 0);
    ASSERT_TRUE(waitFor([&] { return has(readFile(out), "m.outputX = 0.5\n"); }, std::chrono::seconds(10)))
        << readFile(out) << readFile(err);
    EXPECT_TRUE(has(readFile(out), "m.outputY = 0.375\n")) << readFile(out);
    xdotool("windowfocus " + window);
    ASSERT_EQ(xdotool("click 1").status, 0);
    EXPECT_TRUE(waitFor([&] { return has(readFile(out), "m.outputClick = true\n"); }, std::chrono::seconds(10)))
        << readFile(out);

    ASSERT_EQ(xdotool("key a").status, 0);
    EXPECT_TRUE(waitFor([&] { return has(readFile(out), "ka.outputDown = true\n"); }, std::chrono::seconds(10)))
        << readFile(out);
    ASSERT_EQ(xdotool("key q").status, 0);
    EXPECT_TRUE(waitFor([&] { return has(readFile(out), "kq.outputPressed = true\n"); }, std::chrono::seconds(10)))
        << readFile(out);
    EXPECT_EQ(play.waitForExit(std::chrono::seconds(0)), -1) << "q quit although the composition takes it";

    // Escape still quits: no patch listens to it.
    ASSERT_EQ(xdotool("key Escape").status, 0);
    EXPECT_EQ(play.waitForExit(std::chrono::seconds(10)), 0) << readFile(err);
}

}  // namespace
