#include "platform/midi/MIDIRegistry.h"

#include <algorithm>

namespace {

bool isEndpointType(MIDIObjectType type) {
    return type == kMIDIObjectType_Source || type == kMIDIObjectType_Destination;
}

template <typename Map>
auto* find(Map& map, MIDIObjectRef ref) {
    auto it = map.find(ref);
    return it == map.end() ? nullptr : &it->second;
}

}  // namespace

MIDIObjectRef MIDIRegistry::add(MIDIObjectRecord record) {
    const MIDIObjectRef ref = newRef();
    if (isEndpointType(record.type)) list(record.type, record.backend).push_back(ref);
    objects_.emplace(ref, std::move(record));
    return ref;
}

void MIDIRegistry::markRemoved(MIDIEndpointRef ref) {
    MIDIObjectRecord* record = object(ref);
    if (!record || record->removed || !isEndpointType(record->type)) return;
    record->removed = true;
    auto& endpoints = list(record->type, record->backend);
    endpoints.erase(std::remove(endpoints.begin(), endpoints.end(), ref), endpoints.end());
    for (auto& [portRef, port] : ports)
        std::erase_if(port.connections, [ref](const auto& connection) { return connection.first == ref; });
}

void MIDIRegistry::eraseVirtualObjects() {
    for (auto it = objects_.begin(); it != objects_.end();) {
        if (it->second.backend == MIDIBackendKind::Virtual) {
            markRemoved(it->first);
            it = objects_.erase(it);
        } else {
            ++it;
        }
    }
}

MIDIObjectRecord* MIDIRegistry::object(MIDIObjectRef ref) { return find(objects_, ref); }

MIDIObjectRecord* MIDIRegistry::endpoint(MIDIEndpointRef ref, MIDIObjectType type) {
    MIDIObjectRecord* record = object(ref);
    return record && record->type == type && !record->removed ? record : nullptr;
}

MIDIClientRecord* MIDIRegistry::client(MIDIClientRef ref) { return find(clients, ref); }

MIDIPortRecord* MIDIRegistry::port(MIDIPortRef ref) { return find(ports, ref); }

MIDIEndpointRef MIDIRegistry::sourceAt(size_t index) const {
    if (index < virtualSources_.size()) return virtualSources_[index];
    index -= virtualSources_.size();
    return index < jackSources_.size() ? jackSources_[index] : 0;
}

MIDIEndpointRef MIDIRegistry::destinationAt(size_t index) const {
    if (index < virtualDestinations_.size()) return virtualDestinations_[index];
    index -= virtualDestinations_.size();
    return index < jackDestinations_.size() ? jackDestinations_[index] : 0;
}

std::vector<MIDIEndpointRef>& MIDIRegistry::list(MIDIObjectType type, MIDIBackendKind backend) {
    const bool jack = backend == MIDIBackendKind::Jack;
    if (type == kMIDIObjectType_Source) return jack ? jackSources_ : virtualSources_;
    return jack ? jackDestinations_ : virtualDestinations_;
}
