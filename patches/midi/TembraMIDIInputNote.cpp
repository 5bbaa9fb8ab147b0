#include "TembraMIDIInputNote.h"

#include "MIDITables.h"

#include <algorithm>

using namespace MIDITables;

TembraMIDIInputNote::TembraMIDIInputNote(const std::string& identifier) : QCPatch(identifier) {
    inputNote.setIndexValue(48);
    inputNote.setMaxIndexValue(127);
    inputChannel.setIndexValue(1);
    inputChannel.setMaxIndexValue(16);

    for (int channel = 0; channel < kChannels; ++channel)
        for (int note = 0; note < kNumbers; ++note) {
            store(currentNoteGates[channel][note], false);
            store(currentNoteVelocities[channel][note], 0);
        }

    // Neither client nor port is kept: they listen for the life of the process.
    MIDIClientRef client = 0;
    MIDIClientCreate("TembraMIDIInputNote", nullptr, nullptr, &client);
    MIDIPortRef port = 0;
    MIDIInputPortCreate(client, "Input port", TembraMIDIInputNoteReadProc, nullptr, &port);
    const ItemCount count = MIDIGetNumberOfSources();
    for (ItemCount i = 0; i < count; ++i) MIDIPortConnectSource(port, MIDIGetSource(i), nullptr);
}

QCContext* TembraMIDIInputNote::setup(QCContext* context) {
    outputVelocity.setIndexValue(0);
    outputGate.setBooleanValue(false);
    return context;
}

bool TembraMIDIInputNote::execute(QCOpenGLContext*, double, const QCArguments*) {
    int32_t note = static_cast<int32_t>(inputNote.indexValue());
    if (note < 0) {
        note = 0;
        inputNote.setIndexValue(0);
    }
    int32_t channel = static_cast<int32_t>(inputChannel.indexValue());
    if (channel <= 0) {
        channel = 1;
        inputChannel.setIndexValue(1);
    }
    // The port maxima are not enforced on every path; the tables must not be overrun.
    note = std::min(note, 127);
    channel = std::min(channel, 16) - 1;

    outputVelocity.setIndexValue(static_cast<uint32_t>(load(currentNoteVelocities[channel][note])));
    outputGate.setBooleanValue(load(currentNoteGates[channel][note]));
    return true;
}

void TembraMIDIInputNoteReadProc(const MIDIPacketList* pktlist, void*, void*) {
    const MIDIPacket* packet = &pktlist->packet[0];
    for (uint32_t i = 0; i < pktlist->numPackets; ++i, packet = MIDIPacketNext(packet)) {
        if (packet->length != 3) continue;
        const Byte status = packet->data[0] & 0xF0;
        if (status != 0x90 && status != 0x80) continue;
        const int channel = packet->data[0] & 0x0F;
        const Byte note = packet->data[1];
        const Byte velocity = packet->data[2];
        if (note >= 128 || velocity >= 128) continue;  // not MIDI data bytes
        if (status == 0x90 && velocity > 0) {
            store(currentNoteGates[channel][note], true);
            store(currentNoteVelocities[channel][note], int32_t{velocity});
        } else if (status == 0x90) {
            store(currentNoteGates[channel][note], false);
            store(currentNoteVelocities[channel][note], 0);
        } else {
            store(currentNoteGates[channel][note], false);
            store(currentNoteVelocities[channel][note], int32_t{velocity});
        }
    }
}
