#pragma once

#include "platform/midi/CoreMIDI.h"

#include <vector>

// A packet as a virtual destination received it. Shared by the layer's core
// and the VirtualMIDI functions above it, so that the core includes no facade.
struct MIDIReceivedPacket {
    MIDITimeStamp timeStamp;
    std::vector<Byte> bytes;
};
