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

// A knob at 64 on controller 1 of channel 1, from the first frame on.
const std::string kKnob64 = R"(
  "midiSources": [{"name": "Knobs", "device": "Script", "events": [{"time": 0, "bytes": [176, 1, 64]}]}],)";
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
    const CommandResult r = tembraIn(dir.path().string(), "--log none run layers.json --frames 2 --render frame-%d.png");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string error;
    CGImageRef frame = CGImageCreateWithPNGFile((dir.path() / "frame-1.png").string(), &error);
    ASSERT_TRUE(frame) << error;
    const auto pixel = [&](size_t x, size_t y) {
        const uint8_t* p = frame->pixels.data() + y * frame->bytesPerRow + x * 4;
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(pixel(4, 4), (std::vector<int>{0, 255, 0}));  // the Billboard, in the middle
    EXPECT_EQ(pixel(0, 0)[1], 0);                            // the Clear around it
}

}  // namespace
