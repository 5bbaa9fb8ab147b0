#include "MIDIPatchTesting.h"
#include "patches/midi/TembraMIDIOutputCC.h"
#include "patches/regex/CSRegexException.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

const char* kChanged = "TembraMIDIOutputCC::execute() PortName changed.  Matching Ports:";

class OutputCCTest : public ::testing::Test {
protected:
    void SetUp() override {
        VirtualMIDI::reset();
        synth = VirtualMIDI::createDestination(VirtualMIDI::createEntity(VirtualMIDI::createDevice("Box"), "E"), "Synth");
        lights = VirtualMIDI::createDestination(0, "Lights");
    }
    void TearDown() override { VirtualMIDI::reset(); }

    void clear() {
        VirtualMIDI::clearReceived(synth);
        VirtualMIDI::clearReceived(lights);
    }

    MIDIEndpointRef synth = 0, lights = 0;
};

TEST_F(OutputCCTest, SendsOnChangeOnlyAndWritesZeroBackAsOne) {
    LogCapture log;
    auto patch = startPatch<TembraMIDIOutputCC>();
    evaluate(*patch);
    EXPECT_EQ(receivedBytes(synth), std::vector<Bytes>{Bytes({0xB0, 0x01, 0x00})});
    EXPECT_EQ(receivedBytes(lights), std::vector<Bytes>{Bytes({0xB0, 0x01, 0x00})});
    EXPECT_EQ(log.count(kChanged), 1u);
    EXPECT_EQ(log.count("\t* \"Box Synth\""), 1u);
    EXPECT_EQ(log.count("\t* \"Lights\""), 1u);

    clear();
    evaluate(*patch);
    evaluate(*patch);
    EXPECT_TRUE(receivedBytes(synth).empty());

    patch->inputChannel.setIndexValue(10);
    evaluate(*patch);
    patch->inputValue.setIndexValue(127);
    patch->inputController.setIndexValue(74);
    evaluate(*patch);
    // A write of the same value is no change.
    patch->inputValue.setIndexValue(127);
    evaluate(*patch);
    EXPECT_EQ(receivedBytes(synth), (std::vector<Bytes>{{0xB9, 0x01, 0x00}, {0xB9, 74, 127}}));

    clear();
    patch->inputChannel.setIndexValue(0);
    patch->inputController.setIndexValue(0);
    evaluate(*patch);
    EXPECT_EQ(patch->inputChannel.indexValue(), 1u);
    EXPECT_EQ(patch->inputController.indexValue(), 1u);
    EXPECT_EQ(receivedBytes(synth), std::vector<Bytes>{Bytes({0xB0, 0x01, 127})});

    // Past the maxima (the patch's own ports do not clamp) the message stays a Control Change.
    clear();
    patch->inputChannel.setIndexValue(17);
    patch->inputValue.setIndexValue(200);
    evaluate(*patch);
    EXPECT_EQ(receivedBytes(synth), std::vector<Bytes>{Bytes({0xBF, 0x01, 127})});
}

TEST_F(OutputCCTest, ThePatternChoosesTheDestinationsAtEachChange) {
    LogCapture log;
    auto patch = startPatch<TembraMIDIOutputCC>();
    patch->inputPortName.setStringValue(newString("^Box"));
    evaluate(*patch);
    EXPECT_EQ(receivedBytes(synth).size(), 1u);
    EXPECT_TRUE(receivedBytes(lights).empty());

    // A destination added later is not used until the pattern changes; a pattern change alone sends nothing.
    const MIDIEndpointRef later = VirtualMIDI::createDestination(0, "Box Later");
    patch->inputValue.setIndexValue(5);
    evaluate(*patch);
    EXPECT_TRUE(receivedBytes(later).empty());
    clear();
    patch->inputPortName.setStringValue(newString("Later|Lights"));
    evaluate(*patch);
    EXPECT_TRUE(receivedBytes(later).empty());
    patch->inputValue.setIndexValue(6);
    evaluate(*patch);
    EXPECT_TRUE(receivedBytes(synth).empty());
    EXPECT_EQ(receivedBytes(lights), std::vector<Bytes>{Bytes({0xB0, 1, 6})});
    EXPECT_EQ(receivedBytes(later), std::vector<Bytes>{Bytes({0xB0, 1, 6})});

    patch->inputPortName.setStringValue(newString("no such thing"));
    evaluate(*patch);
    patch->inputValue.setIndexValue(7);
    evaluate(*patch);
    EXPECT_EQ(receivedBytes(lights).size(), 1u);
}

TEST_F(OutputCCTest, ABadPatternLeavesTheSetEmptyUntilThePatternChanges) {
    auto patch = startPatch<TembraMIDIOutputCC>();
    evaluate(*patch);
    clear();
    patch->inputPortName.setStringValue(newString("[oops"));
    patch->inputValue.setIndexValue(9);
    EXPECT_THROW(evaluate(*patch), CSRegexException);
    patch->inputValue.setIndexValue(10);
    evaluate(*patch);
    EXPECT_TRUE(receivedBytes(synth).empty());
    EXPECT_TRUE(receivedBytes(lights).empty());

    patch->inputPortName.setStringValue(newString("Synth"));
    evaluate(*patch);
    patch->inputValue.setIndexValue(11);
    evaluate(*patch);
    EXPECT_EQ(receivedBytes(synth), std::vector<Bytes>{Bytes({0xB0, 1, 11})});
}

}  // namespace
