#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::string run(const std::string& arguments) {
    const CommandResult result = runCommand(tembraProgram() + " --log none run " + std::string(TEMBRA_SOURCE_DIR) +
                                            "/examples/" + arguments);
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
}

TEST(MIDIExamples, ScriptedControllerValuesReachTheControllerInput) {
    EXPECT_EQ(run("midi-cc.json --frames 120 --watch knob.outputValue"),
              "frame 0 t=0.000 knob.outputValue = 0\n"
              "frame 15 t=0.250 knob.outputValue = 10\n"
              "frame 30 t=0.500 knob.outputValue = 40\n"
              "frame 45 t=0.750 knob.outputValue = 80\n"
              "frame 60 t=1.000 knob.outputValue = 127\n"
              "frame 90 t=1.500 knob.outputValue = 0\n");
}

TEST(MIDIExamples, AScriptedNoteComesOutAsNoteOnAndNoteOff) {
    EXPECT_EQ(run("midi-thru.json --frames 120 --print-midi"),
              "midi Thru t=0.500 90 3C 64\n"
              "midi Thru t=1.000 80 3C 40\n");
}

TEST(MIDIExamples, NinetySixScriptedClocksMakeFourBeatsAndOneMeasure) {
    EXPECT_EQ(run("midi-clock.json --frames 120 --watch clock.outputBeats"),
              "frame 0 t=0.000 clock.outputBeats = 0\n"
              "frame 26 t=0.433 clock.outputBeats = 1\n"
              "frame 41 t=0.683 clock.outputBeats = 2\n"
              "frame 55 t=0.917 clock.outputBeats = 3\n"
              "frame 69 t=1.150 clock.outputBeats = 4\n");
    const std::string measures = run("midi-clock.json --frames 120 --watch clock.outputMeasures");
    EXPECT_NE(measures.find("frame 69 t=1.150 clock.outputMeasures = 1\n"), std::string::npos) << measures;
    EXPECT_EQ(run("midi-clock.json --frames 120 --watch clock.outputStopSignal"),
              "frame 0 t=0.000 clock.outputStopSignal = false\n"
              "frame 90 t=1.500 clock.outputStopSignal = true\n"
              "frame 91 t=1.517 clock.outputStopSignal = false\n");
}

}  // namespace
