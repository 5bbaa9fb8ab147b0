// A MIDI knob resting at 0 drives other patches through connections in
// `tembra run`: each driven patch acts on the value once, not once a frame.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

// The knob is re-sent at rest a few times, as a controller does.
const std::string kKnob = R"(
  "midiSources": [{"name": "Knobs", "device": "Script", "events": [
      {"time": 0, "bytes": [176, 7, 0]}, {"time": 0.1, "bytes": [176, 7, 0]}, {"time": 0.2, "bytes": [176, 7, 0]}]}],)";
const std::string kKnobPatch =
    R"({"id": "knob", "class": "TembraMIDIInputCC", "inputs": {"inputPortName": "Knobs$", "inputChannel": 1, "inputController": 7}})";

std::string composition(const std::string& patches, const std::string& connection, const std::string& extra = "") {
    return "{" + kKnob + extra + "\n  \"patches\": [" + kKnobPatch + ", " + patches + "],\n  \"connections\": [" +
           connection + "]}";
}

CommandResult tembra(const TempDir& dir, const std::string& arguments) {
    return runCommand("cd " + dir.path().string() + " && " + tembraProgram() + " --bundle " + bundlePath() + " " +
                      arguments);
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

TEST(LiveControl, AKnobAtRestOnAControllerOutputChannelSendsOneMessage) {
    TempDir dir;
    dir.write("cc.json",
              composition(R"({"id": "out", "class": "TembraMIDIOutputCC", "inputs": {"inputPortName": "Synth$"}})",
                          R"({"from": "knob.outputValue", "to": "out.inputChannel"})",
                          R"("midiDestinations": [{"name": "Synth", "device": "Script"}],)"));
    const CommandResult r = tembra(dir, "--log none run cc.json --frames 30 --print-midi");
    EXPECT_EQ(r.status, 0) << r.err;
    // The channel 0 is written back as 1 once; the resting knob does not undo it.
    EXPECT_EQ(r.out, "midi Synth t=0.000 B0 01 00\n");
}

TEST(LiveControl, AKnobAtRestAsASoundFilePathImportsAndPlaysOnce) {
    TempDir dir;
    // The knob's 0 becomes the path "0".
    const CommandResult sox =
        runCommand("cd " + dir.path().string() + " && sox -n -r 44100 -c 2 -b 16 -t wav 0 synth 0.05 sine 440");
    ASSERT_EQ(sox.status, 0) << sox.err;
    dir.write("sound.json", composition(R"({"id": "import", "class": "TembraImageWithSoundFile"},
        {"id": "sound", "class": "TembraSoundWithImage"})",
                                        R"({"from": "knob.outputValue", "to": "import.inputSoundFilePath"},
        {"from": "import.outputImage", "to": "sound.inputImage"})"));
    const CommandResult r = tembra(dir, "--log log.txt run sound.json --frames 30 --audio wav:out.wav");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string log = fileText(dir.path() / "log.txt");
    EXPECT_EQ(occurrences(log, "TembraImageWithSoundFile::importAudioFromFile()\n"), 1u) << log;
    EXPECT_EQ(occurrences(log, "OSC Alloc\n"), 1u) << log;
}

TEST(LiveControl, AFireWithItsHeightKnobAtRestDevelopsAsWithTheValueSetOnce) {
    TempDir dir;
    const std::string fire = R"({"id": "fire", "class": "TembraFire", "inputs": {"inputPixelsWide": 24}})";
    dir.write("knob.json", composition(fire, R"({"from": "knob.outputValue", "to": "fire.inputPixelsHigh"})"));
    dir.write("set.json", composition(fire, ""));
    const CommandResult knob =
        tembra(dir, "--log none run knob.json --frames 20 --save fire.outputImageHeat=knob%d.png");
    const CommandResult set = tembra(dir,
                                     "--log none run set.json --frames 20 --set fire.inputPixelsHigh=0 "
                                     "--save fire.outputImageHeat=set%d.png");
    ASSERT_EQ(knob.status, 0) << knob.err;
    ASSERT_EQ(set.status, 0) << set.err;
    // The model restarted once in both runs, so the last frames agree
    // (a restart every frame would leave the knob's fire at its first step).
    const std::string last = fileText(dir.path() / "knob19.png");
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last, fileText(dir.path() / "set19.png"));
    EXPECT_NE(last, fileText(dir.path() / "knob0.png"));
}

TEST(LiveControl, AKnobAtRestAsAControllerInputsPortNameScansOnce) {
    TempDir dir;
    dir.write("scan.json", composition(R"({"id": "listener", "class": "TembraMIDIInputCC"})",
                                       R"({"from": "knob.outputValue", "to": "listener.inputPortName"})"));
    const CommandResult r = tembra(dir, "--log log.txt run scan.json --frames 30");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string log = fileText(dir.path() / "log.txt");
    // One scan for the knob's own name, one for the listener's.
    EXPECT_EQ(occurrences(log, "TembraMIDIInputCC::execute() PortName changed."), 2u) << log;
}

}  // namespace
