#include "tools/tembra/editor/MIDILearn.h"

#include <utility>

std::unique_ptr<MIDILearn> MIDILearn::create(std::string* error) {
    MIDIClientRef client = 0;
    if (MIDIClientCreate("tembra edit: MIDI learn", nullptr, nullptr, &client) != 0 || !client) {
        if (error) *error = "MIDI learn: the MIDI layer refused a client";
        return nullptr;
    }
    return std::unique_ptr<MIDILearn>(new MIDILearn(client));
}

MIDILearn::~MIDILearn() { MIDIClientDispose(client_); }

void MIDILearn::arm() {
    // A new port each time: it reaches the sources that came since.
    if (port_) MIDIPortDispose(port_);
    port_ = 0;
    {
        std::lock_guard lock(mutex_);
        armed_ = true;
        heard_.reset();
    }
    MIDIInputPortCreate(client_, "learn", &MIDILearn::read, this, &port_);
    const ItemCount count = MIDIGetNumberOfSources();
    for (ItemCount i = 0; i < count; ++i) MIDIPortConnectSource(port_, MIDIGetSource(i), nullptr);
}

void MIDILearn::disarm() {
    if (port_) MIDIPortDispose(port_);
    port_ = 0;
    std::lock_guard lock(mutex_);
    armed_ = false;
    heard_.reset();
}

std::optional<MIDILearn::Heard> MIDILearn::take() {
    std::lock_guard lock(mutex_);
    if (!heard_) return std::nullopt;
    armed_ = false;
    return std::exchange(heard_, std::nullopt);
}

void MIDILearn::read(const MIDIPacketList* packets, void* refCon, void*) {
    auto* self = static_cast<MIDILearn*>(refCon);
    const MIDIPacket* packet = &packets->packet[0];
    for (uint32_t p = 0; p < packets->numPackets; ++p, packet = MIDIPacketNext(packet)) {
        // Status bytes with their data: a control change, or a note on with
        // a velocity (a note on at 0 is a note off).
        for (size_t i = 0; i + 2 < packet->length; ++i) {
            const Byte status = packet->data[i];
            const Byte kind = status & 0xF0;
            if (kind != 0xB0 && kind != 0x90) continue;
            if (packet->data[i + 1] > 127 || packet->data[i + 2] > 127) continue;
            if (kind == 0x90 && packet->data[i + 2] == 0) continue;
            std::lock_guard lock(self->mutex_);
            if (!self->armed_ || self->heard_) return;
            self->heard_ = Heard{kind == 0x90, (status & 0x0F) + 1, packet->data[i + 1]};
            return;
        }
    }
}
