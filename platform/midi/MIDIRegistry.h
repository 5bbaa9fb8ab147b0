#pragma once

#include "platform/midi/CoreMIDI.h"
#include "platform/midi/MIDIReceivedPacket.h"

#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

enum class MIDIBackendKind { Virtual, Jack };

// A device, entity, source or destination.
struct MIDIObjectRecord {
    MIDIObjectType type = kMIDIObjectType_Other;
    MIDIBackendKind backend = MIDIBackendKind::Virtual;
    std::optional<std::string> name;
    MIDIObjectRef parent = 0;  // entity of an endpoint, device of an entity
    bool removed = false;      // kept so that a removed endpoint can still be named
    std::string jackPortName;  // "client:port" of a JACK endpoint
    // The latest packets sent to a virtual destination, at most
    // kMaxReceivedPackets, so a long run does not grow without end.
    std::deque<MIDIReceivedPacket> received;
    static constexpr size_t kMaxReceivedPackets = 4096;
};

struct MIDIClientRecord {
    std::string name;
    MIDINotifyProc notifyProc = nullptr;
    void* refCon = nullptr;
};

struct MIDIPortRecord {
    MIDIClientRef client = 0;
    bool isInput = false;
    std::string name;
    MIDIReadProc readProc = nullptr;
    void* refCon = nullptr;
    std::vector<std::pair<MIDIEndpointRef, void*>> connections;  // source, connection context
    int jackSlot = -1;  // our JACK input port, made at the first JACK connection
    uint64_t jackSent = 0;  // number of the last event queued for JACK through the port
};

// Every object of the layer, by reference. Not locked: the owner locks.
class MIDIRegistry {
public:
    MIDIObjectRef newRef() { return nextRef_++; }

    // Adds a device, entity or endpoint; endpoints join the enumeration.
    MIDIObjectRef add(MIDIObjectRecord record);
    // Takes an endpoint out of the enumeration and out of every connection.
    void markRemoved(MIDIEndpointRef endpoint);
    // Forgets every virtual device, entity and endpoint.
    void eraseVirtualObjects();

    MIDIObjectRecord* object(MIDIObjectRef ref);
    MIDIObjectRecord* endpoint(MIDIEndpointRef ref, MIDIObjectType type);  // live endpoints only
    MIDIClientRecord* client(MIDIClientRef ref);
    MIDIPortRecord* port(MIDIPortRef ref);

    size_t sourceCount() const { return virtualSources_.size() + jackSources_.size(); }
    MIDIEndpointRef sourceAt(size_t index) const;
    size_t destinationCount() const { return virtualDestinations_.size() + jackDestinations_.size(); }
    MIDIEndpointRef destinationAt(size_t index) const;
    const std::vector<MIDIEndpointRef>& jackEndpoints(MIDIObjectType type) const {
        return type == kMIDIObjectType_Source ? jackSources_ : jackDestinations_;
    }

    std::unordered_map<MIDIClientRef, MIDIClientRecord> clients;
    std::unordered_map<MIDIPortRef, MIDIPortRecord> ports;

private:
    std::vector<MIDIEndpointRef>& list(MIDIObjectType type, MIDIBackendKind backend);

    MIDIObjectRef nextRef_ = 1;
    std::unordered_map<MIDIObjectRef, MIDIObjectRecord> objects_;
    // Enumeration order: virtual endpoints first, then JACK's, each in the
    // order they appeared.
    std::vector<MIDIEndpointRef> virtualSources_, jackSources_, virtualDestinations_, jackDestinations_;
};
