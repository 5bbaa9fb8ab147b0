#include "TembraMIDIOutputNote.h"

#include "MIDIMessageList.h"

#include <algorithm>

TembraMIDIOutputNote::TembraMIDIOutputNote(const std::string& identifier) : QCPatch(identifier) {
    inputChannel.setIndexValue(1);
    inputChannel.setMaxIndexValue(16);
    inputNote.setIndexValue(48);
    inputNote.setMaxIndexValue(127);
    inputVelocity.setIndexValue(64);
    inputVelocity.setMaxIndexValue(127);

    gateState = false;

    MIDIClientRef client = 0;
    MIDIClientCreate("TembraMIDIOutputNote", nullptr, nullptr, &client);
    MIDIOutputPortCreate(client, "Output port", &gOutPort);
}

bool TembraMIDIOutputNote::execute(QCOpenGLContext*, double, const QCArguments*) {
    if (inputGate.booleanValue() == gateState) return true;
    gateState = inputGate.booleanValue();

    int32_t channel = static_cast<int32_t>(inputChannel.indexValue());
    if (channel <= 0) {
        channel = 1;
        inputChannel.setIndexValue(1);
    }
    channel -= 1;
    int32_t note = static_cast<int32_t>(inputNote.indexValue());
    if (note < 0) {
        note = 0;
        inputNote.setIndexValue(0);
    }
    int32_t velocity = static_cast<int32_t>(inputVelocity.indexValue());
    if (velocity < 0) {
        velocity = 0;
        inputVelocity.setIndexValue(0);
    }

    // The port maxima are not enforced on every path: a channel above 16 or a
    // data byte above 127 would make another message.
    MIDIMessageList message({
        static_cast<Byte>((gateState ? 0x90 : 0x80) + std::min(channel, 15)),
        static_cast<Byte>(std::min(note, 127)),
        static_cast<Byte>(std::min(velocity, 127)),
    });

    const ItemCount count = MIDIGetNumberOfDestinations();
    for (ItemCount i = 0; i < count; ++i) MIDISend(gOutPort, MIDIGetDestination(i), message.list());
    return true;
}
