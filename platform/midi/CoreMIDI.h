#pragma once

// The MIDI services the MIDI patches call, by the names they call them.
// Two backends stand behind these calls: the virtual backend (in process,
// always present; see VirtualMIDI.h) and JACK (when a JACK server runs).
// Endpoints of both appear in one enumeration.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

using OSStatus = int32_t;
constexpr OSStatus noErr = 0;
constexpr OSStatus kMIDIInvalidClient = -10830;
constexpr OSStatus kMIDIInvalidPort = -10831;
constexpr OSStatus kMIDIObjectNotFound = -10842;
constexpr OSStatus kMIDIUnknownProperty = -10835;

using ItemCount = unsigned long;
using ByteCount = unsigned long;
using Byte = uint8_t;
using MIDITimeStamp = uint64_t;

// Object references; 0 is "none".
using MIDIObjectRef = uint32_t;
using MIDIClientRef = MIDIObjectRef;
using MIDIPortRef = MIDIObjectRef;
using MIDIDeviceRef = MIDIObjectRef;
using MIDIEntityRef = MIDIObjectRef;
using MIDIEndpointRef = MIDIObjectRef;

using MIDIObjectType = int32_t;
constexpr MIDIObjectType kMIDIObjectType_Other = -1;
constexpr MIDIObjectType kMIDIObjectType_Device = 0;
constexpr MIDIObjectType kMIDIObjectType_Entity = 1;
constexpr MIDIObjectType kMIDIObjectType_Source = 2;
constexpr MIDIObjectType kMIDIObjectType_Destination = 3;

// Packet lists, laid out exactly as in memory: packed, little-endian,
// a 4-byte count, then packets of an 8-byte time stamp, a 2-byte length and
// `length` data bytes, back to back with no alignment.
#pragma pack(push, 1)
struct MIDIPacket {
    MIDITimeStamp timeStamp;
    uint16_t length;
    Byte data[256];
};
struct MIDIPacketList {
    uint32_t numPackets;
    MIDIPacket packet[1];
};
#pragma pack(pop)
static_assert(offsetof(MIDIPacket, length) == 8 && offsetof(MIDIPacket, data) == 10);
static_assert(offsetof(MIDIPacketList, packet) == 4);

// The packet after `packet`: its start plus 10 plus its length.
inline const MIDIPacket* MIDIPacketNext(const MIDIPacket* packet) {
    return reinterpret_cast<const MIDIPacket*>(reinterpret_cast<const Byte*>(packet) + 10 + packet->length);
}
inline MIDIPacket* MIDIPacketNext(MIDIPacket* packet) {
    return reinterpret_cast<MIDIPacket*>(reinterpret_cast<Byte*>(packet) + 10 + packet->length);
}

// Starts an empty list; returns where its first packet goes.
MIDIPacket* MIDIPacketListInit(MIDIPacketList* pktlist);
// Appends `nData` bytes at `time` after `curPacket` (the result of Init or
// the previous Add). Returns the packet written, or null when the list of
// `listSize` bytes has no room.
MIDIPacket* MIDIPacketListAdd(MIDIPacketList* pktlist, ByteCount listSize, MIDIPacket* curPacket, MIDITimeStamp time,
                              ByteCount nData, const Byte* data);

// Notifications.
using MIDINotificationMessageID = int32_t;
constexpr MIDINotificationMessageID kMIDIMsgSetupChanged = 1;
constexpr MIDINotificationMessageID kMIDIMsgObjectAdded = 2;
constexpr MIDINotificationMessageID kMIDIMsgObjectRemoved = 3;

struct MIDINotification {
    MIDINotificationMessageID messageID;
    uint32_t messageSize;
};
struct MIDIObjectAddRemoveNotification {
    MIDINotificationMessageID messageID;
    uint32_t messageSize;
    MIDIObjectRef parent;
    MIDIObjectType parentType;
    MIDIObjectRef child;
    MIDIObjectType childType;
};

// Called on the MIDI layer's receive thread (virtual sources) or JACK's
// process thread (JACK sources); must not block or allocate. The connection
// context is the one given to MIDIPortConnectSource for virtual sources;
// JACK delivers per port, not per connection, and passes null.
using MIDIReadProc = void (*)(const MIDIPacketList* pktlist, void* readProcRefCon, void* srcConnRefCon);
// Called on the MIDI layer's notification thread, never on a JACK thread.
using MIDINotifyProc = void (*)(const MIDINotification* message, void* refCon);

OSStatus MIDIClientCreate(const std::string& name, MIDINotifyProc notifyProc, void* notifyRefCon,
                          MIDIClientRef* outClient);
// Disposes the client and all its ports. What its ports sent to JACK
// destinations goes out first (see MIDIPortDispose). No notification or read
// callback of it runs after this returns (called from one of its own
// callbacks, only that callback may still be finishing).
OSStatus MIDIClientDispose(MIDIClientRef client);
OSStatus MIDIInputPortCreate(MIDIClientRef client, const std::string& portName, MIDIReadProc readProc, void* refCon,
                             MIDIPortRef* outPort);
OSStatus MIDIOutputPortCreate(MIDIClientRef client, const std::string& portName, MIDIPortRef* outPort);
OSStatus MIDIPortConnectSource(MIDIPortRef port, MIDIEndpointRef source, void* connRefCon);
OSStatus MIDIPortDisconnectSource(MIDIPortRef port, MIDIEndpointRef source);
// Ends the port's connections; no callback runs for it after this returns.
// Messages it sent to JACK destinations and still queued go out first: the
// call waits for them a few JACK periods at most, and logs how many were
// not delivered when that time passes. (Sends to virtual destinations are
// delivered before MIDISend returns.) The layer does the same for everything
// still queued when the process ends.
OSStatus MIDIPortDispose(MIDIPortRef port);

ItemCount MIDIGetNumberOfSources();
MIDIEndpointRef MIDIGetSource(ItemCount index);  // 0 when out of range
ItemCount MIDIGetNumberOfDestinations();
MIDIEndpointRef MIDIGetDestination(ItemCount index);

enum MIDIPropertyID { kMIDIPropertyName };
// `str` receives the property, or stays empty when the object has none.
OSStatus MIDIObjectGetStringProperty(MIDIObjectRef obj, MIDIPropertyID propertyID, std::optional<std::string>* str);
OSStatus MIDIEndpointGetEntity(MIDIEndpointRef endpoint, MIDIEntityRef* outEntity);
OSStatus MIDIEntityGetDevice(MIDIEntityRef entity, MIDIDeviceRef* outDevice);

// Sends every packet of the list to the destination. For a JACK destination
// the packets are queued for JACK's process thread; the first ones after our
// port was connected to the destination wait for the server to take the
// connection into its graph, so they are not lost.
OSStatus MIDISend(MIDIPortRef port, MIDIEndpointRef dest, const MIDIPacketList* pktlist);
