// How a composition's graph behaves as a performer sees it through
// `tembra run`: layers, maps on connections, paths written in the document.
#include "tests/support/TestSupport.h"

#include "platform/graphics/PNGFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace {

// A 2 x 2 opaque green PNG.
const std::string kGreenPNG(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x02\x00\x00\x00\x02\x08\x06\x00\x00"
    "\x00\x72\xb6\x0d\x24\x00\x00\x00\x0e\x49\x44\x41\x54\x78\x9c\x63\x60\xf8\x0f\x85\x30\x06\x00\x43\xce\x07\xf9\xf7"
    "\xa2\xe2\xef\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    69);

// A knob at 64 on controller 1 of channel 1, sent again while the patch
// connects to the source in its first frame.
const std::string kKnob64 = R"(
  "midiSources": [{"name": "Knobs", "device": "Script", "events": [{"time": 0, "bytes": [176, 1, 64]},
      {"time": 0.05, "bytes": [176, 1, 64]}, {"time": 0.1, "bytes": [176, 1, 64]}]}],)";
const std::string kKnobPatch =
    R"({"id": "knob", "class": "TembraMIDIInputCC", "inputs": {"inputPortName": "Knobs$"}})";

CommandResult tembraIn(const std::string& folder, const std::string& arguments) {
    return runCommand("cd '" + folder + "' && " + tembraProgram() + " --bundle " + bundlePath() + " " + arguments);
}

TEST(CompositionGraph, ConsumersDrawInDocumentOrderWhateverFeedsThem) {
    TempDir dir;
    dir.write("green.png", kGreenPNG);
    // The background's colour comes from a knob listed last: it still draws first.
    dir.write("layers.json", R"({"renderSize": [8, 8], )" + kKnob64 + R"(
      "patches": [
        {"id": "background", "class": "Clear", "inputs": {"inputGreen": 0, "inputBlue": 0}},
        {"id": "logo", "class": "Billboard", "inputs": {"inputImage": "green.png", "inputWidth": 1}},
        )" + kKnobPatch + R"(],
      "connections": [{"from": "knob.outputValue", "to": "background.inputRed"}]})");
    const CommandResult r = tembraIn(dir.path().string(), "--log none run layers.json --frames 10 --render frame-%d.png");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string error;
    CGImageRef frame = CGImageCreateWithPNGFile((dir.path() / "frame-9.png").string(), &error);
    ASSERT_TRUE(frame) << error;
    const auto pixel = [&](size_t x, size_t y) {
        const uint8_t* p = frame->pixels.data() + y * frame->bytesPerRow + x * 4;
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(pixel(4, 4), (std::vector<int>{0, 255, 0}));  // the Billboard, in the middle
    EXPECT_EQ(pixel(0, 0), (std::vector<int>{255, 0, 0}));  // the Clear around it, red from the knob
}

size_t occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// The last value --watch printed for `endpoint`.
double lastWatched(const std::string& out, const std::string& endpoint) {
    const std::regex line(endpoint + " = ([-0-9.e]+)");
    double value = -1;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it)
        value = std::strtod((*it)[1].str().c_str(), nullptr);
    return value;
}

TEST(CompositionGraph, AMapBringsAKnobIntoThePortsRange) {
    TempDir dir;
    const auto run = [&](const std::string& map) {
        dir.write("map.json", "{" + kKnob64 + R"(
          "patches": [)" + kKnobPatch + R"(, {"id": "fire", "class": "TembraFire",
              "inputs": {"inputPixelsWide": 8, "inputPixelsHigh": 8}}],
          "connections": [{"from": "knob.outputValue", "to": "fire.inputCoolRate", "map": )" + map + "}]}");
        return tembraIn(dir.path().string(), "--log none run map.json --frames 10 --watch fire.inputCoolRate");
    };
    CommandResult r = run("[0.9, 1.0]");  // from the knob's own 0..127
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(lastWatched(r.out, "fire.inputCoolRate"), 0.9504, 0.0001) << r.out;
    r = run(R"({"from": [0, 128], "to": [0, 1], "curve": 2})");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(lastWatched(r.out, "fire.inputCoolRate"), 0.25, 1e-9) << r.out;
    r = run(R"({"from": [100, 127], "to": [0.9, 1]})");  // 64 is below the range: clamped
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(lastWatched(r.out, "fire.inputCoolRate"), 0.9, 1e-9) << r.out;
}

TEST(CompositionGraph, AMalformedMapIsAnErrorNamingItsLine) {
    TempDir dir;
    const auto error = [&](const std::string& from, const std::string& map) {
        dir.write("bad.json", R"({"patches": [{"id": "text", "class": "TembraStringWithFile"},
  {"id": "knob", "class": "TembraMIDIInputCC"}, {"id": "fire", "class": "TembraFire"}],
"connections": [{"from": ")" + from + R"(", "to": "fire.inputCoolRate",
  "map": )" + map + "}]}");
        const CommandResult r = tembraIn(dir.path().string(), "--log none run bad.json");
        EXPECT_NE(r.status, 0);
        return r.err;
    };
    EXPECT_NE(error("text.outputFileContent", "[0, 1]").find("bad.json:4: the map from \"text.outputFileContent\" needs"),
              std::string::npos);
    EXPECT_NE(error("knob.outputValue", "[0]").find("bad.json:4: map [0] is not two numbers"), std::string::npos);
    EXPECT_NE(error("knob.outputValue", R"({"to": [0, 1], "curve": 0})").find("bad.json:4: map \"curve\" 0 must be"),
              std::string::npos);
    EXPECT_NE(error("knob.outputValue", R"({"from": [3, 3], "to": [0, 1]})").find("is an empty range"),
              std::string::npos);
    EXPECT_NE(error("knob.outputValue", R"({"to": [0, 1], "curv": 2})").find("unknown key \"curv\""),
              std::string::npos);
}

TEST(CompositionGraph, FilesNamedInACompositionAreFoundFromItsFolder) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "show" / "media");
    const std::string folder = (dir.path() / "show").string();
    ASSERT_EQ(runCommand("sox -n -r 44100 -c 2 -b 16 '" + folder + "/media/song.wav' synth 0.01 sine 440").status, 0);
    dir.write("show/poem.txt", "rose");
    dir.write("show/other.txt", "lily");
    dir.write("show/live.json", R"({"patches": [
      {"id": "import", "class": "TembraImageWithSoundFile", "inputs": {"inputSoundFilePath": "media/song.wav"}},
      {"id": "text", "class": "TembraStringWithFile", "inputs": {"inputFilePath": "poem.txt"}},
      {"id": "absolute", "class": "TembraStringWithFile", "inputs": {"inputFilePath": ")" + folder + R"(/other.txt"}}]})");
    // Run from elsewhere: the composition's own files are still found.
    CommandResult r = tembraIn(dir.path().string(), "--log none run show/live.json --watch import.outputBlah "
                                                    "--watch text.outputFileContent --watch absolute.outputFileContent");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("import.outputBlah = 882\n"), std::string::npos) << r.out;  // 441 frames, two samples each
    EXPECT_NE(r.out.find("text.outputFileContent = \"rose\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("absolute.outputFileContent = \"lily\""), std::string::npos) << r.out;

    // A value given on the command line is the shell user's: from the working directory.
    r = tembraIn(dir.path().string(),
                 "--log none run show/live.json --set text.inputFilePath=show/other.txt --watch text.outputFileContent");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("text.outputFileContent = \"lily\""), std::string::npos) << r.out;

    // A file that is not there is named as found from the composition, with the reason in words.
    dir.write("show/missing.json", R"({"patches": [
      {"id": "import", "class": "TembraImageWithSoundFile", "inputs": {"inputSoundFilePath": "gone.wav"}},
      {"id": "text", "class": "TembraStringWithFile", "inputs": {"inputFilePath": "gone.txt"}}]})");
    r = tembraIn(dir.path().string(), "run show/missing.json --frames 3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(occurrences(r.err, "show/gone.wav: No such file"), 1u) << r.err;
    EXPECT_EQ(occurrences(r.err, "show/gone.txt: No such file"), 1u) << r.err;
}

}  // namespace
