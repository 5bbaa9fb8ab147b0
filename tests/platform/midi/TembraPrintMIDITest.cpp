#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

// A scripted knob goes through a controller input into a controller output
// whose packets the host prints.
TEST(TembraPrintMIDI, ScriptedControllerReachesTheDestinationPrintedWithItsTime) {
    TempDir dir;
    const std::string doc = dir.write("cc.json", R"({
  "patches": [
    {"id": "knob", "class": "TembraMIDIInputCC", "inputs": {"inputChannel": 1, "inputController": 7}},
    {"id": "out", "class": "TembraMIDIOutputCC", "inputs": {"inputPortName": "Thru", "inputController": 9}}
  ],
  "connections": [{"from": "knob.outputValue", "to": "out.inputValue"}],
  "midiSources": [{"name": "Keys", "device": "Script", "events": [
      {"time": 0.5, "bytes": [176, 7, 64]}, {"time": 0.25, "bytes": [176, 7, 10]}]}],
  "midiDestinations": [{"name": "Thru", "device": "Script"}]
})");
    const CommandResult r = runCommand(tembraProgram() + " --bundle " + bundlePath() + " --log none run " + doc +
                                       " --frames 40 --print-midi");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "midi Thru t=0.000 B0 09 00\n"
              "midi Thru t=0.250 B0 09 0A\n"
              "midi Thru t=0.500 B0 09 40\n");
}

TEST(TembraPrintMIDI, BadScriptedBytesStopTheRunWithTheLine) {
    TempDir dir;
    const std::string doc = dir.write("bad.json", "{\"patches\": [],\n\"midiSources\": [{\"name\": \"K\",\n"
                                                  "\"events\": [{\"time\": 0, \"bytes\": [300]}]}]}");
    const CommandResult r = runCommand(tembraProgram() + " --bundle " + bundlePath() + " --log none run " + doc);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad.json:3: event of MIDI source \"K\": \"bytes\" must be a non-empty array of integers"),
              std::string::npos)
        << r.err;
}

}  // namespace
