#pragma once

// The in-process MIDI backend: devices, entities, sources and destinations
// made by the program itself. Tests use it, and so does the host's scripted
// MIDI. Its endpoints appear in the enumeration of CoreMIDI.h.

#include "platform/midi/CoreMIDI.h"
#include "platform/midi/MIDIReceivedPacket.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace VirtualMIDI {

// A missing name (nullopt) means the object has no name property.
MIDIDeviceRef createDevice(const std::optional<std::string>& name);
MIDIEntityRef createEntity(MIDIDeviceRef device, const std::optional<std::string>& name);
// `entity` 0: an endpoint without entity. Each creation sends an added
// notification (childType source or destination) to every client.
MIDIEndpointRef createSource(MIDIEntityRef entity, const std::optional<std::string>& name);
MIDIEndpointRef createDestination(MIDIEntityRef entity, const std::optional<std::string>& name);
// Removes the endpoint (removed notification first, while it still has its
// name) and ends its connections.
void removeEndpoint(MIDIEndpointRef endpoint);

// Delivers `bytes` as one packet from `source` to every input port connected
// to it, on the layer's receive thread.
void inject(MIDIEndpointRef source, const std::vector<Byte>& bytes, MIDITimeStamp time = 0);
// Delivers a whole packet list as given, in one read callback.
void injectPacketList(MIDIEndpointRef source, const MIDIPacketList* list);
// Returns once every packet injected so far has been delivered and every
// notification sent so far has been handled.
void flush();

using ReceivedPacket = MIDIReceivedPacket;
// What was sent to a virtual destination, oldest first (the latest 4096
// packets).
std::vector<ReceivedPacket> received(MIDIEndpointRef destination);
void clearReceived(MIDIEndpointRef destination);
// Called on the sending thread for every packet sent to a virtual
// destination (the host prints them); an empty function removes it.
void setDestinationListener(std::function<void(MIDIEndpointRef, const ReceivedPacket&)> listener);

// Removes every virtual object (tests start clean with this).
void reset();

}  // namespace VirtualMIDI
