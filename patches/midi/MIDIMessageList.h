#pragma once

#include "platform/midi/CoreMIDI.h"

#include <array>

// A packet list holding one three-byte message, time stamp 0 (at once), built
// in a buffer of 1024 bytes: what the output patches send.
class MIDIMessageList {
public:
    explicit MIDIMessageList(const Byte (&message)[3]) {
        MIDIPacket* packet = MIDIPacketListInit(list());
        MIDIPacketListAdd(list(), buffer_.size(), packet, 0, sizeof message, message);
    }
    MIDIPacketList* list() { return reinterpret_cast<MIDIPacketList*>(buffer_.data()); }

private:
    alignas(MIDIPacketList) std::array<Byte, 1024> buffer_{};
};
