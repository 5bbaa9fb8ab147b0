#include "MIDIPatchTesting.h"
#include "patches/midi/TembraMIDIInputNote.h"

#include <gtest/gtest.h>

namespace {

class InputNoteTest : public ::testing::Test {
protected:
    void SetUp() override {
        VirtualMIDI::reset();
        keys = VirtualMIDI::createSource(0, "Keys");
    }
    void TearDown() override { VirtualMIDI::reset(); }

    MIDIEndpointRef keys = 0;
};

TEST_F(InputNoteTest, NoteOnOffAndVelocityZeroDriveTheGate) {
    auto patch = startPatch<TembraMIDIInputNote>();
    EXPECT_EQ(patch->inputNote.indexValue(), 48u);
    evaluate(*patch);
    EXPECT_FALSE(patch->outputGate.booleanValue());

    send(keys, {0x90, 48, 100});
    evaluate(*patch);
    EXPECT_TRUE(patch->outputGate.booleanValue());
    EXPECT_EQ(patch->outputVelocity.indexValue(), 100u);

    send(keys, {0x80, 48, 64});
    evaluate(*patch);
    EXPECT_FALSE(patch->outputGate.booleanValue());
    EXPECT_EQ(patch->outputVelocity.indexValue(), 64u);

    send(keys, {0x90, 48, 90});
    send(keys, {0x90, 48, 0});
    evaluate(*patch);
    EXPECT_FALSE(patch->outputGate.booleanValue());
    EXPECT_EQ(patch->outputVelocity.indexValue(), 0u);

    // Other messages, other notes, packets of other lengths, bad data bytes: no change.
    send(keys, {0x90, 48, 77, 0x90, 48, 78});
    send(keys, {0xA0, 48, 50});
    send(keys, {0xB0, 48, 50});
    send(keys, {0x91, 48, 50});
    send(keys, {0x90, 47, 50});
    send(keys, {0x90, 48, 0x85});
    send(keys, {48, 50});
    evaluate(*patch);
    EXPECT_FALSE(patch->outputGate.booleanValue());
    EXPECT_EQ(patch->outputVelocity.indexValue(), 0u);
}

TEST_F(InputNoteTest, ChannelAndNoteAreBoundedAndWrittenBackFromBelow) {
    auto patch = startPatch<TembraMIDIInputNote>();
    send(keys, {0x90, 0, 11});
    send(keys, {0x9F, 127, 22});
    patch->inputChannel.setIndexValue(0);
    patch->inputNote.setIndexValue(0);
    evaluate(*patch);
    EXPECT_EQ(patch->inputChannel.indexValue(), 1u);
    EXPECT_EQ(patch->outputVelocity.indexValue(), 11u);

    patch->inputNote.setIndexValue(0xFFFFFFFFu);  // -1 as a signed value
    evaluate(*patch);
    EXPECT_EQ(patch->inputNote.indexValue(), 0u);
    EXPECT_EQ(patch->outputVelocity.indexValue(), 11u);

    patch->inputChannel.setIndexValue(40);
    patch->inputNote.setIndexValue(300);
    evaluate(*patch);
    EXPECT_EQ(patch->outputVelocity.indexValue(), 22u);
    EXPECT_TRUE(patch->outputGate.booleanValue());
}

TEST_F(InputNoteTest, ConstructionClearsEveryInstanceAndLaterSourcesAreNotHeard) {
    auto first = startPatch<TembraMIDIInputNote>("first");
    send(keys, {0x90, 48, 100});
    evaluate(*first);
    ASSERT_TRUE(first->outputGate.booleanValue());

    const MIDIEndpointRef late = VirtualMIDI::createSource(0, "Late");
    auto second = startPatch<TembraMIDIInputNote>("second");
    evaluate(*first);
    EXPECT_FALSE(first->outputGate.booleanValue());
    EXPECT_EQ(first->outputVelocity.indexValue(), 0u);

    // `late` came after the first instance, before the second: only the second hears it.
    const MIDIEndpointRef later = VirtualMIDI::createSource(0, "Later");
    send(later, {0x90, 48, 33});
    evaluate(*second);
    EXPECT_FALSE(second->outputGate.booleanValue());
    send(late, {0x90, 48, 44});
    evaluate(*first);
    evaluate(*second);
    EXPECT_TRUE(first->outputGate.booleanValue());
    EXPECT_EQ(second->outputVelocity.indexValue(), 44u);
}

}  // namespace
