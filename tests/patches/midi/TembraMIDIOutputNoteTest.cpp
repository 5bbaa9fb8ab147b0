#include "MIDIPatchTesting.h"
#include "patches/midi/TembraMIDIOutputNote.h"

#include <gtest/gtest.h>

namespace {

class OutputNoteTest : public ::testing::Test {
protected:
    void SetUp() override {
        VirtualMIDI::reset();
        synth = VirtualMIDI::createDestination(0, "Synth");
    }
    void TearDown() override { VirtualMIDI::reset(); }

    MIDIEndpointRef synth = 0;
};

TEST_F(OutputNoteTest, SendsOnGateEdgesOnly) {
    auto patch = startPatch<TembraMIDIOutputNote>();
    evaluate(*patch);
    EXPECT_TRUE(receivedBytes(synth).empty());

    patch->inputGate.setBooleanValue(true);
    evaluate(*patch);
    patch->inputNote.setIndexValue(50);
    patch->inputChannel.setIndexValue(3);
    evaluate(*patch);
    evaluate(*patch);
    EXPECT_EQ(receivedBytes(synth), std::vector<Bytes>{Bytes({0x90, 0x30, 0x40})});

    // The Note Off goes to what is current when the gate falls, with the current velocity.
    VirtualMIDI::clearReceived(synth);
    patch->inputVelocity.setIndexValue(20);
    patch->inputGate.setBooleanValue(false);
    evaluate(*patch);
    evaluate(*patch);
    EXPECT_EQ(receivedBytes(synth), std::vector<Bytes>{Bytes({0x82, 50, 20})});
}

TEST_F(OutputNoteTest, BoundsAndDestinationsAtEachSend) {
    auto patch = startPatch<TembraMIDIOutputNote>();
    patch->inputGate.setBooleanValue(true);
    patch->inputVelocity.setIndexValue(0);
    patch->inputChannel.setIndexValue(0);
    evaluate(*patch);
    EXPECT_EQ(patch->inputChannel.indexValue(), 1u);
    EXPECT_EQ(receivedBytes(synth), std::vector<Bytes>{Bytes({0x90, 0x30, 0x00})});

    // Every destination present at the send, including one added since.
    const MIDIEndpointRef later = VirtualMIDI::createDestination(0, "Later");
    patch->inputGate.setBooleanValue(false);
    patch->inputChannel.setIndexValue(99);
    patch->inputNote.setIndexValue(128);
    patch->inputVelocity.setIndexValue(0xFFFFFFFFu);  // -1 as a signed value
    evaluate(*patch);
    EXPECT_EQ(patch->inputVelocity.indexValue(), 0u);
    EXPECT_EQ(receivedBytes(later), std::vector<Bytes>{Bytes({0x8F, 127, 0})});
    EXPECT_EQ(receivedBytes(synth).size(), 2u);
}

}  // namespace
