#pragma once

#include "platform/midi/CoreMIDI.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class MIDIEndpointBackend;

// A device, entity, source or destination.
struct MIDIObjectRecord {
    MIDIObjectType type = kMIDIObjectType_Other;
    MIDIEndpointBackend* backend = nullptr;  // where the object's traffic goes
    std::optional<std::string> name;
    MIDIObjectRef parent = 0;  // entity of an endpoint, device of an entity
    bool removed = false;      // kept so that a removed endpoint can still be named
    std::string address;       // the endpoint's name inside its backend
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
};

// Every object of the layer, by reference. Not locked: the owner locks.
class MIDIRegistry {
public:
    MIDIObjectRef newRef() { return nextRef_++; }

    // Endpoints are enumerated backend by backend, in the order the backends
    // were added (or first seen), each in the order its endpoints appeared.
    void addBackend(const MIDIEndpointBackend* backend);

    // Adds a device, entity or endpoint; endpoints join the enumeration.
    MIDIObjectRef add(MIDIObjectRecord record);
    // Takes an endpoint out of the enumeration and out of every connection.
    void markRemoved(MIDIEndpointRef endpoint);
    // Forgets every device, entity and endpoint of the backend.
    void eraseObjectsOf(const MIDIEndpointBackend* backend);

    MIDIObjectRecord* object(MIDIObjectRef ref);
    MIDIObjectRecord* endpoint(MIDIEndpointRef ref, MIDIObjectType type);  // live endpoints only
    MIDIClientRecord* client(MIDIClientRef ref);
    MIDIPortRecord* port(MIDIPortRef ref);

    size_t endpointCount(MIDIObjectType type) const;
    MIDIEndpointRef endpointAt(MIDIObjectType type, size_t index) const;  // 0 when out of range
    // The live endpoints of one backend.
    std::vector<MIDIEndpointRef> endpointsOf(const MIDIEndpointBackend* backend, MIDIObjectType type) const;

    std::unordered_map<MIDIClientRef, MIDIClientRecord> clients;
    std::unordered_map<MIDIPortRef, MIDIPortRecord> ports;

private:
    struct Endpoints {
        const MIDIEndpointBackend* backend;
        std::vector<MIDIEndpointRef> sources, destinations;
    };
    std::vector<MIDIEndpointRef>& list(MIDIObjectType type, const MIDIEndpointBackend* backend);

    MIDIObjectRef nextRef_ = 1;
    std::unordered_map<MIDIObjectRef, MIDIObjectRecord> objects_;
    std::vector<Endpoints> endpoints_;  // in enumeration order
};
