#include "MIDIPatchTesting.h"
#include "patches/midi/EndpointName.h"

#include <gtest/gtest.h>

class EndpointNameTest : public ::testing::Test {
protected:
    void SetUp() override { VirtualMIDI::reset(); }
    void TearDown() override { VirtualMIDI::reset(); }
};

TEST_F(EndpointNameTest, DeviceNamePrecedesTheEndpointUnlessMissingOrEqual) {
    const MIDIDeviceRef synth = VirtualMIDI::createDevice("Synth");
    const MIDIEntityRef synthEntity = VirtualMIDI::createEntity(synth, "Main");
    EXPECT_EQ(EndpointName(VirtualMIDI::createSource(synthEntity, "Port 1")), "Synth Port 1");
    EXPECT_EQ(EndpointName(VirtualMIDI::createDestination(synthEntity, "Synth")), "Synth");
    // Equality is whole and case-sensitive.
    EXPECT_EQ(EndpointName(VirtualMIDI::createSource(synthEntity, "synth")), "Synth synth");
    EXPECT_EQ(EndpointName(VirtualMIDI::createSource(synthEntity, "Synth 2")), "Synth Synth 2");

    const MIDIDeviceRef anonymous = VirtualMIDI::createDevice(std::nullopt);
    const MIDIEntityRef anonymousEntity = VirtualMIDI::createEntity(anonymous, "Entity");
    EXPECT_EQ(EndpointName(VirtualMIDI::createSource(anonymousEntity, "Out")), "Out");
}

TEST_F(EndpointNameTest, AnUnnamedEndpointBorrowsItsEntitysName) {
    const MIDIDeviceRef box = VirtualMIDI::createDevice("Box");
    const MIDIEntityRef in = VirtualMIDI::createEntity(box, "In");
    EXPECT_EQ(EndpointName(VirtualMIDI::createSource(in, std::nullopt)), "Box In");
    EXPECT_EQ(EndpointName(VirtualMIDI::createSource(in, "")), "Box In");
    // Nothing of its own and an unnamed entity: the device alone.
    const MIDIEntityRef unnamed = VirtualMIDI::createEntity(box, std::nullopt);
    EXPECT_EQ(EndpointName(VirtualMIDI::createDestination(unnamed, std::nullopt)), "Box");
    // The entity is only asked when the endpoint has no name.
    EXPECT_EQ(EndpointName(VirtualMIDI::createSource(in, "Port")), "Box Port");
}

TEST_F(EndpointNameTest, WithoutEntityTheEndpointKeepsItsOwnNameOrNone) {
    EXPECT_EQ(EndpointName(VirtualMIDI::createSource(0, "Alone")), "Alone");
    EXPECT_EQ(EndpointName(VirtualMIDI::createDestination(0, std::nullopt)), "");
    EXPECT_EQ(EndpointName(0), "");
}
