// A show played live under an X server with a knob on JACK and an edit, and
// rendered again offline from its take: the same pictures, byte for byte.

#include "tests/platform/audio/ToneClient.h"
#include "tests/platform/midi/JackPeer.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/XServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string tembra(const std::string& arguments) {
    return tembraProgram() + " --bundle " + bundlePath() + " --bundle " + libraryBundlePath() + " " + arguments;
}

// A knob on the peer's port into the fire's reaction rate and cool rate.
std::string knobFire(const std::string& source, double exothermicness) {
    return R"({"renderSize": [80, 60], "patches": [
        {"id": "knob", "class": "TembraMIDIInputCC",
         "inputs": {"inputPortName": ")" +
           source + R"(", "inputChannel": 1, "inputController": 7}},
        {"id": "scale", "class": "Expression", "expression": "a * 0.003 + 0.05"},
        {"id": "fire", "class": "TembraFire",
         "inputs": {"inputPixelsWide": 80, "inputPixelsHigh": 60, "inputExothermicness": )" +
           std::to_string(exothermicness) + R"(}}],
        "connections": [
        {"from": "knob.outputValue", "to": "scale.a"},
        {"from": "scale.outputResult", "to": "fire.inputReactionRateCoefficient"},
        {"from": "knob.outputValue", "to": "fire.inputCoolRate", "map": [0.96, 0.995]}]})";
}

// The files of `dir` whose name starts with `prefix`, sorted.
std::vector<fs::path> frames(const fs::path& dir, const std::string& prefix) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Waits until the window has shown `more` frames beyond those shown now.
bool framesGo(const fs::path& dir, size_t more) {
    const size_t now = frames(dir, "live-").size();
    return waitFor([&] { return frames(dir, "live-").size() >= now + more; }, std::chrono::seconds(30));
}

// Frame N of the replay is byte for byte frame N of the live show.
void expectSameFrames(const fs::path& dir, size_t expected, size_t atLeastDistinct = 4) {
    const std::vector<fs::path> live = frames(dir, "live-"), replayed = frames(dir, "replay-");
    ASSERT_EQ(replayed.size(), expected);
    ASSERT_LE(replayed.size(), live.size());
    std::set<std::string> distinct;
    for (size_t i = 0; i < replayed.size(); ++i) {
        const std::string shown = readFile(live[i].string());
        EXPECT_EQ(replayed[i].filename().string().substr(7), live[i].filename().string().substr(5));
        EXPECT_TRUE(shown == readFile(replayed[i].string())) << "frame " << i << " differs";
        distinct.insert(shown);
    }
    // The inputs changed the picture: the frames are not all one.
    EXPECT_GE(distinct.size(), atLeastDistinct);
}

TEST(CaptureReplay, AKnobOnJACKAndAnEditMidShowReplayByteForByte) {
    XServer x;
    if (!x.ok()) {
        if (std::getenv("CI")) FAIL() << x.error();
        GTEST_SKIP() << x.error();
    }
    JackPeer peer;
    if (!peer.isOpen()) {
        if (std::getenv("CI")) FAIL() << "no JACK server";
        GTEST_SKIP() << "no JACK server";
    }
    TempDir dir;
    const std::string source = peer.name() + " out";
    const std::string doc = dir.write("show.json", knobFire(source + "$", 3.0));
    const std::string take = (dir.path() / "show.take").string();
    const std::string out = (dir.path() / "out").string(), err = (dir.path() / "err").string();
    BackgroundCommand play(x.environment() + tembra("play " + doc + " --fps 30 --capture " + take + " --snapshot " +
                                                    (dir.path() / "live-%05d.png").string()),
                           out, err);
    ASSERT_TRUE(waitFor([&] { return readFile(err).find("\t* \"" + source + "\"") != std::string::npos; },
                        std::chrono::seconds(30)))
        << readFile(err);
    ASSERT_TRUE(peer.waitUntilConnected());

    // The knob turns, a frame or more per step; the file is saved; it turns back.
    for (int step = 0; step <= 40; ++step) {
        peer.send({0xB0, 7, static_cast<uint8_t>(step * 3)});
        ASSERT_TRUE(framesGo(dir.path(), 1)) << readFile(err);
    }
    dir.write("show.json.new", knobFire(source + "$", 1.2));
    fs::rename(dir.path() / "show.json.new", doc);
    ASSERT_TRUE(
        waitFor([&] { return readFile(err).find("reloaded " + doc) != std::string::npos; }, std::chrono::seconds(10)))
        << readFile(err);
    for (int step = 40; step >= 0; step -= 2) {
        peer.send({0xB0, 7, static_cast<uint8_t>(step * 3)});
        ASSERT_TRUE(framesGo(dir.path(), 1)) << readFile(err);
    }
    ASSERT_TRUE(framesGo(dir.path(), 5));
    ASSERT_EQ(play.interruptAndWait(std::chrono::seconds(20)), 0) << readFile(err);

    const std::string written = readFile(take);
    EXPECT_GE(count(written, "\"kind\":\"midi\""), 60u);
    EXPECT_EQ(count(written, "\"kind\":\"reload\""), 1u);
    EXPECT_EQ(count(written, "\"kind\":\"end\""), 1u);

    // Offline now, with the edited file on disk: the take holds the document as it was.
    CommandResult replay = runCommand(
        tembra("run " + doc + " --replay " + take + " --render " + (dir.path() / "replay-%05d.png").string()));
    ASSERT_EQ(replay.status, 0) << replay.err;
    expectSameFrames(dir.path(), frames(dir.path(), "live-").size());
}

// A shader draws the newest samples the analysis read: the pictures hang on
// every sample, and on the frame each sample was read in.
TEST(CaptureReplay, LiveSoundOnJACKReplaysByteForByteWithoutJACK) {
    XServer x;
    if (!x.ok()) {
        if (std::getenv("CI")) FAIL() << x.error();
        GTEST_SKIP() << x.error();
    }
    ToneClient tone(997);
    if (tone.client == nullptr) {
        if (std::getenv("CI")) FAIL() << "no JACK server";
        GTEST_SKIP() << "no JACK server";
    }
    TempDir dir;
    const std::string doc = dir.write("show.json", R"({"renderSize": [128, 64], "patches": [
        {"id": "a", "class": "AudioAnalysis", "inputs": {"inputSource": "jack:^tembra-test-tone:out$"}},
        {"id": "draw", "class": "Shader", "inputs": {"inputWidth": 128, "inputHeight": 64},
         "source": "/*{\"INPUTS\": [{\"NAME\": \"wave\", \"TYPE\": \"image\"}]}*/\nvoid main() {\n  float v = IMG_NORM_PIXEL(wave, vec2(isf_FragNormCoord.x, 0.25)).r;\n  gl_FragColor = vec4(vec3(1.0 - smoothstep(0.0, 0.04, abs(isf_FragNormCoord.y - v))), 1.0);\n}\n"},
        {"id": "show", "class": "Billboard"}],
        "connections": [{"from": "a.outputWaveform", "to": "draw.wave"}, {"from": "draw.outputImage", "to": "show.inputImage"}]})");
    const std::string take = (dir.path() / "show.take").string();
    const std::string out = (dir.path() / "out").string(), err = (dir.path() / "err").string();
    BackgroundCommand play(x.environment() + tembra("play " + doc + " --fps 30 --capture " + take + " --snapshot " +
                                                    (dir.path() / "live-%05d.png").string()),
                           out, err);
    ASSERT_TRUE(framesGo(dir.path(), 45)) << readFile(err);
    ASSERT_EQ(play.interruptAndWait(std::chrono::seconds(20)), 0) << readFile(err);
    const std::string written = readFile(take);
    EXPECT_EQ(count(written, "\"kind\":\"sound-open\""), 1u);
    EXPECT_GE(count(written, "\"kind\":\"sound\""), 30u);

    // Replayed with the tone gone: the sound comes from the take.
    jack_client_close(tone.client);
    tone.client = nullptr;
    CommandResult replay = runCommand(
        tembra("run " + doc + " --replay " + take + " --render " + (dir.path() / "replay-%05d.png").string()));
    ASSERT_EQ(replay.status, 0) << replay.err;
    EXPECT_EQ(replay.err.find("may differ"), std::string::npos) << replay.err;
    expectSameFrames(dir.path(), frames(dir.path(), "live-").size(), 20);
}

TEST(CaptureReplay, ATakeCutByKillReplaysUpToItsLastSecond) {
    XServer x;
    if (!x.ok()) {
        if (std::getenv("CI")) FAIL() << x.error();
        GTEST_SKIP() << x.error();
    }
    TempDir dir;
    const std::string doc = dir.write("show.json", knobFire("no such source", 3.0));
    const std::string take = (dir.path() / "show.take").string();
    const std::string out = (dir.path() / "out").string(), err = (dir.path() / "err").string();
    constexpr int kFPS = 30;
    BackgroundCommand play(x.environment() + tembra("play " + doc + " --fps " + std::to_string(kFPS) + " --capture " +
                                                    take + " --snapshot " + (dir.path() / "live-%05d.png").string()),
                           out, err);
    // Frames on the disk, written more than once.
    ASSERT_TRUE(waitFor([&] { return count(readFile(take), "\"kind\":\"frame\"") > 40; }, std::chrono::seconds(60)))
        << readFile(err);
    ASSERT_TRUE(framesGo(dir.path(), 10));
    EXPECT_EQ(play.signalAndWait(SIGKILL, std::chrono::seconds(10)), 128 + SIGKILL);
    const size_t shown = frames(dir.path(), "live-").size();
    const size_t kept = count(readFile(take), "\"kind\":\"frame\"");
    // A frame a 1/30 s at the most: what was lost is at most a second of them, and the one being drawn.
    EXPECT_LE(shown, kept + kFPS + 1);
    EXPECT_EQ(count(readFile(take), "\"kind\":\"end\""), 0u);

    // A record cut in half at the end is left out too.
    std::ofstream(take, std::ios::app) << R"({"kind":"key","key":"a","do)";
    CommandResult replay = runCommand(
        tembra("run " + doc + " --replay " + take + " --render " + (dir.path() / "replay-%05d.png").string()));
    ASSERT_EQ(replay.status, 0) << replay.err;
    EXPECT_NE(replay.err.find("was cut short; replayed its " + std::to_string(kept) + " whole frames"),
              std::string::npos)
        << replay.err;
    expectSameFrames(dir.path(), kept);
}

// "/red" with one float, to 127.0.0.1:`port`.
void sendRed(uint16_t port, float value) {
    std::string packet("/red\0\0\0\0,f\0\0", 12);
    uint32_t bits;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    bits = htonl(bits);
    packet.append(reinterpret_cast<const char*>(&bits), sizeof bits);
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    close(fd);
}

// The --watch lines of `port`, as printed.
std::vector<std::string> watchLines(const std::string& out, const std::string& port) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        if (out.substr(at, end - at).find(" " + port + " = ") != std::string::npos)
            lines.push_back(out.substr(at, end - at));
    return lines;
}

TEST(CaptureReplay, OSCMessagesReplayAtTheFramesTheyReached) {
    XServer x;
    if (!x.ok()) {
        if (std::getenv("CI")) FAIL() << x.error();
        GTEST_SKIP() << x.error();
    }
    TempDir dir;
    const uint16_t port = static_cast<uint16_t>(40000 + getpid() % 20000);
    const std::string doc = dir.write("show.json", R"({"renderSize": [32, 24], "patches": [
        {"id": "red", "class": "OSCReceive", "inputs": {"inputPort": )" +
                                                       std::to_string(port) +
                                                       R"(, "inputAddress": "/red"}},
        {"id": "clear", "class": "Clear"}],
        "connections": [{"from": "red.outputValue", "to": "clear.inputRed"}]})");
    const std::string take = (dir.path() / "show.take").string();
    const std::string out = (dir.path() / "out").string(), err = (dir.path() / "err").string();
    BackgroundCommand play(x.environment() + tembra("play " + doc + " --fps 30 --watch red.outputValue --capture " +
                                                    take + " --snapshot " + (dir.path() / "live-%05d.png").string()),
                           out, err);
    ASSERT_TRUE(framesGo(dir.path(), 2)) << readFile(err);
    const size_t before = watchLines(readFile(out), "red.outputValue").size();
    for (int step = 1; step <= 10; ++step) {
        const float value = static_cast<float>(step) / 10.0f;
        sendRed(port, value);
        ASSERT_TRUE(
            waitFor([&] { return watchLines(readFile(out), "red.outputValue").size() >= before + size_t(step); },
                    std::chrono::seconds(10)))
            << step << "\n"
            << readFile(out) << readFile(err);
    }
    ASSERT_TRUE(framesGo(dir.path(), 3));
    ASSERT_EQ(play.interruptAndWait(std::chrono::seconds(20)), 0) << readFile(err);
    EXPECT_EQ(count(readFile(take), "\"kind\":\"osc\""), 10u);

    CommandResult replay = runCommand(tembra("run " + doc + " --replay " + take + " --watch red.outputValue --render " +
                                             (dir.path() / "replay-%05d.png").string()));
    ASSERT_EQ(replay.status, 0) << replay.err;
    // Each value at the frame it reached live.
    EXPECT_EQ(watchLines(replay.out, "red.outputValue"), watchLines(readFile(out), "red.outputValue"));
    expectSameFrames(dir.path(), frames(dir.path(), "live-").size());
    EXPECT_EQ(replay.err.find("OSC"), std::string::npos) << replay.err;
}

TEST(CaptureReplay, KeysTheMouseAndAPauseInTheWindowReplayAsPlayed) {
    XServer x;
    if (!x.ok()) {
        if (std::getenv("CI")) FAIL() << x.error();
        GTEST_SKIP() << x.error();
    }
    if (runCommand("command -v xdotool").status != 0) {
        if (std::getenv("CI")) FAIL() << "xdotool is missing";
        GTEST_SKIP() << "xdotool is missing";
    }
    const auto xdotool = [&](const std::string& arguments) {
        return runCommand("env DISPLAY=" + x.display() + " xdotool " + arguments);
    };
    TempDir dir;
    const std::string doc = dir.write("keys.json", R"({"renderSize": [64, 48], "patches": [
        {"id": "ka", "class": "Keyboard", "inputs": {"inputKey": "a"}},
        {"id": "m", "class": "Mouse"},
        {"id": "clear", "class": "Clear"}],
        "connections": [{"from": "ka.outputDown", "to": "clear.inputRed"}, {"from": "m.outputX", "to": "clear.inputGreen"}]})");
    const std::string take = (dir.path() / "keys.take").string();
    const std::string out = (dir.path() / "out").string(), err = (dir.path() / "err").string();
    BackgroundCommand play(x.environment() + tembra("play " + doc +
                                                    " --fps 30 --watch ka.outputDown --watch m.outputX "
                                                    "--capture " +
                                                    take + " --snapshot " + (dir.path() / "live-%05d.png").string()),
                           out, err);
    std::string window;
    ASSERT_TRUE(waitFor(
        [&] {
            const CommandResult found = xdotool("search --onlyvisible --name '^keys'");
            window = found.out.substr(0, found.out.find('\n'));
            return found.status == 0 && !window.empty();
        },
        std::chrono::seconds(30)))
        << readFile(err);
    ASSERT_EQ(xdotool("mousemove --window " + window + " 48 12").status, 0);
    ASSERT_TRUE(
        waitFor([&] { return readFile(out).find("m.outputX = 0.5\n") != std::string::npos; }, std::chrono::seconds(10)))
        << readFile(out) << readFile(err);
    xdotool("windowfocus " + window);
    ASSERT_EQ(xdotool("key a").status, 0);
    ASSERT_TRUE(waitFor([&] { return readFile(out).find("ka.outputDown = true\n") != std::string::npos; },
                        std::chrono::seconds(10)))
        << readFile(out);
    // Paused for some frames, then on again.
    ASSERT_EQ(xdotool("key space").status, 0);
    ASSERT_TRUE(waitFor([&] { return count(readFile(take), "\"kind\":\"pause\"") == 1; }, std::chrono::seconds(10)));
    ASSERT_TRUE(framesGo(dir.path(), 5));
    ASSERT_EQ(xdotool("key space").status, 0);
    ASSERT_EQ(xdotool("mousemove --window " + window + " 16 12").status, 0);
    ASSERT_TRUE(waitFor([&] { return readFile(out).find("m.outputX = -0.5\n") != std::string::npos; },
                        std::chrono::seconds(10)))
        << readFile(out);
    ASSERT_TRUE(framesGo(dir.path(), 3));
    ASSERT_EQ(play.interruptAndWait(std::chrono::seconds(20)), 0) << readFile(err);

    CommandResult replay =
        runCommand(tembra("run " + doc + " --replay " + take + " --watch ka.outputDown --watch m.outputX --render " +
                          (dir.path() / "replay-%05d.png").string()));
    ASSERT_EQ(replay.status, 0) << replay.err;
    EXPECT_EQ(watchLines(replay.out, "ka.outputDown"), watchLines(readFile(out), "ka.outputDown"));
    EXPECT_EQ(watchLines(replay.out, "m.outputX"), watchLines(readFile(out), "m.outputX"));
    // Before the mouse, at x 0.5, with "a" down, at x -0.5.
    expectSameFrames(dir.path(), frames(dir.path(), "live-").size(), 3);
}

}  // namespace
