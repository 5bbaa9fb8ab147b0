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

void MIDIRegistry::addBackend(const MIDIEndpointBackend* backend) { list(kMIDIObjectType_Source, backend); }

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

void MIDIRegistry::eraseObjectsOf(const MIDIEndpointBackend* backend) {
    for (auto it = objects_.begin(); it != objects_.end();) {
        if (it->second.backend == backend) {
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

size_t MIDIRegistry::endpointCount(MIDIObjectType type) const {
    size_t count = 0;
    for (const Endpoints& e : endpoints_) count += (type == kMIDIObjectType_Source ? e.sources : e.destinations).size();
    return count;
}

MIDIEndpointRef MIDIRegistry::endpointAt(MIDIObjectType type, size_t index) const {
    for (const Endpoints& e : endpoints_) {
        const auto& refs = type == kMIDIObjectType_Source ? e.sources : e.destinations;
        if (index < refs.size()) return refs[index];
        index -= refs.size();
    }
    return 0;
}

std::vector<MIDIEndpointRef> MIDIRegistry::endpointsOf(const MIDIEndpointBackend* backend,
                                                       MIDIObjectType type) const {
    for (const Endpoints& e : endpoints_)
        if (e.backend == backend) return type == kMIDIObjectType_Source ? e.sources : e.destinations;
    return {};
}

std::vector<MIDIEndpointRef>& MIDIRegistry::list(MIDIObjectType type, const MIDIEndpointBackend* backend) {
    auto it = std::find_if(endpoints_.begin(), endpoints_.end(),
                           [backend](const Endpoints& e) { return e.backend == backend; });
    if (it == endpoints_.end()) it = endpoints_.insert(endpoints_.end(), Endpoints{backend, {}, {}});
    return type == kMIDIObjectType_Source ? it->sources : it->destinations;
}
