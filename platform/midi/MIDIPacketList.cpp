#include "platform/midi/CoreMIDI.h"

#include <cstring>

namespace {

constexpr ByteCount kPacketHeaderSize = offsetof(MIDIPacket, data);

Byte* listBytes(MIDIPacketList* list) { return reinterpret_cast<Byte*>(list); }

}  // namespace

MIDIPacket* MIDIPacketListInit(MIDIPacketList* pktlist) {
    pktlist->numPackets = 0;
    return pktlist->packet;
}

MIDIPacket* MIDIPacketListAdd(MIDIPacketList* pktlist, ByteCount listSize, MIDIPacket* curPacket, MIDITimeStamp time,
                              ByteCount nData, const Byte* data) {
    if (nData > UINT16_MAX) return nullptr;
    // The first Add writes where Init pointed; later ones after the packet
    // written last.
    Byte* at = reinterpret_cast<Byte*>(pktlist->numPackets == 0 ? pktlist->packet : MIDIPacketNext(curPacket));
    const ByteCount used = static_cast<ByteCount>(at - listBytes(pktlist));
    if (used > listSize || listSize - used < kPacketHeaderSize + nData) return nullptr;
    // Packets sit at arbitrary byte offsets, so fields are copied bytewise.
    const uint16_t length = static_cast<uint16_t>(nData);
    std::memcpy(at + offsetof(MIDIPacket, timeStamp), &time, sizeof time);
    std::memcpy(at + offsetof(MIDIPacket, length), &length, sizeof length);
    if (nData > 0) std::memcpy(at + kPacketHeaderSize, data, nData);
    ++pktlist->numPackets;
    return reinterpret_cast<MIDIPacket*>(at);
}
