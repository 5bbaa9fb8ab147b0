#include "platform/midi/MIDIServices.h"

#include "platform/foundation/NSLog.h"
#include "platform/midi/JackMIDIBackend.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <tuple>

namespace {

// Room for a list of any one packet.
constexpr size_t kReceiveMemory = offsetof(MIDIPacketList, packet) + offsetof(MIDIPacket, data) + UINT16_MAX;

// Bytes taken by a packet list: the count and every packet after it.
size_t packetListSize(const MIDIPacketList* list) {
    const MIDIPacket* packet = list->packet;
    for (uint32_t i = 0; i < list->numPackets; ++i) packet = MIDIPacketNext(packet);
    return static_cast<size_t>(reinterpret_cast<const Byte*>(packet) - reinterpret_cast<const Byte*>(list));
}

}  // namespace

MIDIServices& MIDIServices::shared() {
    static MIDIServices services;
    return services;
}

MIDIServices::MIDIServices() : receiveMemory_(kReceiveMemory) {
    targets_.reserve(64);
    registry_.addBackend(&virtual_);  // virtual endpoints are enumerated first
}

MIDIServices::~MIDIServices() {
    // At exit: our threads first (their tasks use the backends), then the
    // system's backend (whose callbacks post to them, which is refused once
    // they are stopped).
    notificationThread_.stop();
    receiveThread_.stop();
    system_.store(nullptr);
    systemOwner_.reset();
}

// ---- clients and ports

OSStatus MIDIServices::clientCreate(const std::string& name, MIDINotifyProc notifyProc, void* refCon,
                                    MIDIClientRef* out) {
    chooseSystemBackend();
    std::lock_guard lock(mutex_);
    const MIDIClientRef ref = registry_.newRef();
    registry_.clients.emplace(ref, MIDIClientRecord{name, notifyProc, refCon});
    if (out) *out = ref;
    return noErr;
}

OSStatus MIDIServices::clientDispose(MIDIClientRef client) {
    std::vector<MIDIPortRef> ports;
    {
        std::lock_guard lock(mutex_);
        if (!registry_.clients.erase(client)) return kMIDIInvalidClient;
        for (const auto& [ref, port] : registry_.ports)
            if (port.client == client) ports.push_back(ref);
    }
    disposePorts(ports);
    notificationThread_.waitForRunningTask();
    return noErr;
}

OSStatus MIDIServices::portCreate(MIDIClientRef client, const std::string& name, MIDIReadProc readProc, void* refCon,
                                  bool isInput, MIDIPortRef* out) {
    std::lock_guard lock(mutex_);
    if (!registry_.client(client)) return kMIDIInvalidClient;
    const MIDIPortRef ref = registry_.newRef();
    MIDIPortRecord port;
    port.client = client;
    port.isInput = isInput;
    port.name = name;
    port.readProc = readProc;
    port.refCon = refCon;
    registry_.ports.emplace(ref, std::move(port));
    if (out) *out = ref;
    return noErr;
}

OSStatus MIDIServices::connectSource(MIDIPortRef portRef, MIDIEndpointRef source, void* connRefCon) {
    std::lock_guard lock(mutex_);
    MIDIPortRecord* port = registry_.port(portRef);
    if (!port || !port->isInput) return kMIDIInvalidPort;
    const MIDIObjectRecord* endpoint = registry_.endpoint(source, kMIDIObjectType_Source);
    if (!endpoint) return kMIDIObjectNotFound;
    for (auto& connection : port->connections)
        if (connection.first == source) {
            connection.second = connRefCon;
            return noErr;
        }
    if (!endpoint->backend->connect(portRef, port->readProc, port->refCon, endpoint->address))
        return kMIDIObjectNotFound;
    port->connections.emplace_back(source, connRefCon);
    return noErr;
}

OSStatus MIDIServices::disconnectSource(MIDIPortRef portRef, MIDIEndpointRef source) {
    {
        std::lock_guard lock(mutex_);
        MIDIPortRecord* port = registry_.port(portRef);
        if (!port || !port->isInput) return kMIDIInvalidPort;
        const size_t erased = std::erase_if(port->connections, [source](const auto& c) { return c.first == source; });
        if (erased == 0) return kMIDIObjectNotFound;
        if (const MIDIObjectRecord* endpoint = registry_.object(source))
            endpoint->backend->disconnect(portRef, endpoint->address);
    }
    receiveThread_.waitForRunningTask();
    return noErr;
}

OSStatus MIDIServices::portDispose(MIDIPortRef port) {
    {
        std::lock_guard lock(mutex_);
        if (!registry_.port(port)) return kMIDIInvalidPort;
    }
    disposePorts({port});
    return noErr;
}

void MIDIServices::disposePorts(const std::vector<MIDIPortRef>& ports) {
    {
        std::lock_guard lock(mutex_);
        for (MIDIPortRef port : ports) registry_.ports.erase(port);
    }
    // Every backend hears of it, whether the port used it or not.
    MIDIEndpointBackend* system = system_.load();
    for (MIDIPortRef port : ports) {
        virtual_.portDisposed(port);
        if (system) system->portDisposed(port);
    }
    receiveThread_.waitForRunningTask();
}

// ---- holding what other programs send

void MIDIServices::holdExternalInput(bool hold) {
    chooseSystemBackend();
    if (MIDIEndpointBackend* system = system_.load()) system->setHolding(hold);
}

size_t MIDIServices::releaseHeldInput(const MIDIEndpointBackend::HeldObserver& observe) {
    MIDIEndpointBackend* system = system_.load();
    return system ? system->releaseHeld(observe) : 0;
}

uint64_t MIDIServices::heldInputDropped() const {
    MIDIEndpointBackend* system = system_.load();
    return system ? system->heldDropped() : 0;
}

// ---- endpoints and properties

ItemCount MIDIServices::endpointCount(MIDIObjectType type) {
    chooseSystemBackend();
    std::lock_guard lock(mutex_);
    return registry_.endpointCount(type);
}

MIDIEndpointRef MIDIServices::endpointAt(MIDIObjectType type, ItemCount index) {
    chooseSystemBackend();
    std::lock_guard lock(mutex_);
    return registry_.endpointAt(type, index);
}

OSStatus MIDIServices::name(MIDIObjectRef object, std::optional<std::string>* out) {
    std::lock_guard lock(mutex_);
    out->reset();
    if (const MIDIObjectRecord* record = registry_.object(object)) *out = record->name;
    else if (const MIDIClientRecord* client = registry_.client(object)) *out = client->name;
    else if (const MIDIPortRecord* port = registry_.port(object)) *out = port->name;
    else return kMIDIObjectNotFound;
    return noErr;
}

OSStatus MIDIServices::parent(MIDIObjectRef object, MIDIObjectType childType, MIDIObjectRef* out) {
    std::lock_guard lock(mutex_);
    *out = 0;
    const MIDIObjectRecord* record = registry_.object(object);
    if (!record) return kMIDIObjectNotFound;
    const bool endpoint = record->type == kMIDIObjectType_Source || record->type == kMIDIObjectType_Destination;
    if (childType == kMIDIObjectType_Entity ? record->type != kMIDIObjectType_Entity : !endpoint)
        return kMIDIObjectNotFound;
    *out = record->parent;
    return noErr;
}

OSStatus MIDIServices::send(MIDIPortRef portRef, MIDIEndpointRef destination, const MIDIPacketList* list) {
    MIDIEndpointBackend* backend = nullptr;
    std::string address;
    std::vector<MIDIReceivedPacket> packets;
    {
        std::lock_guard lock(mutex_);
        const MIDIPortRecord* port = registry_.port(portRef);
        if (!port || port->isInput) return kMIDIInvalidPort;
        const MIDIObjectRecord* endpoint = registry_.endpoint(destination, kMIDIObjectType_Destination);
        if (!endpoint) return kMIDIObjectNotFound;
        backend = endpoint->backend;
        address = endpoint->address;
        const MIDIPacket* packet = list->packet;
        for (uint32_t i = 0; i < list->numPackets; ++i, packet = MIDIPacketNext(packet))
            packets.push_back(MIDIReceivedPacket{packet->timeStamp, {packet->data, packet->data + packet->length}});
    }
    // Outside the lock: a backend may wait, and a listener may call the layer.
    return backend->send(portRef, destination, address, packets);
}

// ---- virtual backend

MIDIObjectRef MIDIServices::createVirtual(MIDIObjectType type, MIDIObjectRef parent,
                                          const std::optional<std::string>& name) {
    MIDIObjectRef ref = 0;
    {
        std::lock_guard lock(mutex_);
        const MIDIObjectType parentType =
            type == kMIDIObjectType_Entity ? kMIDIObjectType_Device
            : type == kMIDIObjectType_Device ? kMIDIObjectType_Other
                                             : kMIDIObjectType_Entity;
        const MIDIObjectRecord* parentRecord = registry_.object(parent);
        if (!parentRecord || parentRecord->type != parentType) parent = 0;
        MIDIObjectRecord record;
        record.type = type;
        record.backend = &virtual_;
        record.name = name;
        record.parent = parent;
        ref = registry_.add(std::move(record));
    }
    if (type == kMIDIObjectType_Source || type == kMIDIObjectType_Destination) postAddRemove(kMIDIMsgObjectAdded, ref);
    return ref;
}

void MIDIServices::removeVirtualEndpoint(MIDIEndpointRef endpoint) {
    {
        std::lock_guard lock(mutex_);
        const MIDIObjectRecord* record = registry_.object(endpoint);
        if (!record || record->removed || record->backend != &virtual_) return;
        if (record->type != kMIDIObjectType_Source && record->type != kMIDIObjectType_Destination) return;
        registry_.markRemoved(endpoint);
    }
    // The record stays, so the removed notification can still name it.
    postAddRemove(kMIDIMsgObjectRemoved, endpoint);
}

void MIDIServices::inject(MIDIEndpointRef source, std::vector<Byte> bytes, MIDITimeStamp time) {
    receiveThread_.post([this, source, bytes = std::move(bytes), time] {
        auto* list = reinterpret_cast<MIDIPacketList*>(receiveMemory_.data());
        MIDIPacket* packet = MIDIPacketListInit(list);
        if (MIDIPacketListAdd(list, receiveMemory_.size(), packet, time, bytes.size(), bytes.data()))
            deliverVirtual(source, list);
    });
}

void MIDIServices::injectPacketList(MIDIEndpointRef source, const MIDIPacketList* list) {
    const auto* start = reinterpret_cast<const Byte*>(list);
    std::vector<Byte> copy(start, start + packetListSize(list));
    receiveThread_.post([this, source, copy = std::move(copy)] {
        if (copy.size() > receiveMemory_.size()) return;
        std::memcpy(receiveMemory_.data(), copy.data(), copy.size());
        deliverVirtual(source, reinterpret_cast<const MIDIPacketList*>(receiveMemory_.data()));
    });
}

void MIDIServices::deliverVirtual(MIDIEndpointRef source, const MIDIPacketList* list) {
    {
        std::lock_guard lock(mutex_);
        targets_.clear();
        for (const auto& [ref, port] : registry_.ports) {
            if (!port.isInput || !port.readProc) continue;
            for (const auto& [connected, connRefCon] : port.connections)
                if (connected == source) targets_.push_back(ReadTarget{port.readProc, port.refCon, connRefCon});
        }
    }
    // Outside the lock, so a read callback may call the layer; a port
    // disposed meanwhile waits in portDispose until this task ends.
    for (const ReadTarget& target : targets_) target.readProc(list, target.refCon, target.connRefCon);
}

void MIDIServices::flush() {
    receiveThread_.flush();
    notificationThread_.flush();
}

std::vector<MIDIReceivedPacket> MIDIServices::received(MIDIEndpointRef destination) {
    return virtual_.received(destination);
}

void MIDIServices::clearReceived(MIDIEndpointRef destination) { virtual_.clearReceived(destination); }

void MIDIServices::setDestinationListener(Listener listener) { virtual_.setListener(std::move(listener)); }

uint64_t MIDIServices::addDestinationListener(Listener listener) { return virtual_.addListener(std::move(listener)); }

void MIDIServices::removeDestinationListener(uint64_t token) { virtual_.removeListener(token); }

void MIDIServices::reset() {
    // Pending deliveries and notifications belong to the objects being
    // removed: let them finish first.
    flush();
    {
        std::lock_guard lock(mutex_);
        registry_.eraseObjectsOf(&virtual_);
    }
    virtual_.reset();
}

// ---- notifications

void MIDIServices::postAddRemove(MIDINotificationMessageID messageID, MIDIObjectRef child) {
    MIDIObjectAddRemoveNotification record{};
    {
        std::lock_guard lock(mutex_);
        const MIDIObjectRecord* object = registry_.object(child);
        if (!object) return;
        record.messageID = messageID;
        record.messageSize = sizeof record;
        record.parent = object->parent;
        record.parentType = object->parent ? kMIDIObjectType_Entity : kMIDIObjectType_Other;
        record.child = child;
        record.childType = object->type;
    }
    notificationThread_.post([this, record] { deliverNotification(record); });
}

void MIDIServices::deliverNotification(const MIDIObjectAddRemoveNotification& record) {
    std::vector<std::pair<MIDIClientRef, MIDIClientRecord>> clients;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [ref, client] : registry_.clients)
            if (client.notifyProc) clients.emplace_back(ref, client);
    }
    for (const auto& [ref, client] : clients) {
        {
            // A client disposed by an earlier callback of this round is
            // skipped; one disposed elsewhere waits for this task to end.
            std::lock_guard lock(mutex_);
            if (!registry_.client(ref)) continue;
        }
        client.notifyProc(reinterpret_cast<const MIDINotification*>(&record), client.refCon);
    }
}

// ---- the system's backend

void MIDIServices::chooseSystemBackend() {
    if (systemChosen_.load()) return;
    std::lock_guard lock(chooseMutex_);
    if (systemChosen_.load()) return;
    auto jack = JackMIDIBackend::open(JackMIDIBackend::Events{
        [this] {
            // One pending sync serves every change announced before it runs.
            if (!syncPosted_.exchange(true))
                notificationThread_.post([this] {
                    syncPosted_.store(false);
                    syncExternalEndpoints(true);
                });
        },
        [this] { notificationThread_.post([this] { systemBackendGone(); }); }});
    if (jack) {
        systemOwner_ = std::move(jack);
        system_.store(systemOwner_.get());
        syncExternalEndpoints(false);
    }
    systemChosen_.store(true);
}

MIDIObjectRef MIDIServices::externalEntityFor(const std::string& owner) {
    auto it = externalEntities_.find(owner);
    if (it != externalEntities_.end()) return it->second;
    // Device and entity are both the owning program.
    auto record = [this, &owner](MIDIObjectType type, MIDIObjectRef parent) {
        return registry_.add(MIDIObjectRecord{type, system_.load(), std::optional<std::string>(owner), parent, false, {}});
    };
    const MIDIEntityRef ref = record(kMIDIObjectType_Entity, record(kMIDIObjectType_Device, 0));
    externalEntities_.emplace(owner, ref);
    return ref;
}

void MIDIServices::syncExternalEndpoints(bool notify) {
    std::lock_guard sync(syncMutex_);
    // A change announced while the backend was being opened: the sync at the
    // end of the opening covers it.
    MIDIEndpointBackend* system = system_.load();
    if (!system) return;
    const std::vector<MIDIEndpointBackend::ExternalEndpoint> endpoints = system->externalEndpoints();
    std::vector<std::pair<MIDINotificationMessageID, MIDIObjectRef>> changes;
    {
        std::lock_guard lock(mutex_);
        std::set<std::string> present;
        for (const auto& endpoint : endpoints) present.insert(endpoint.address);
        std::set<std::string> known;
        for (MIDIObjectType type : {kMIDIObjectType_Source, kMIDIObjectType_Destination}) {
            for (MIDIEndpointRef ref : registry_.endpointsOf(system, type)) {
                const std::string& address = registry_.object(ref)->address;
                if (present.count(address)) {
                    known.insert(address);
                } else {
                    registry_.markRemoved(ref);
                    changes.emplace_back(kMIDIMsgObjectRemoved, ref);
                }
            }
        }
        for (const auto& endpoint : endpoints) {
            if (known.count(endpoint.address)) continue;
            MIDIObjectRecord record;
            record.type = endpoint.isSource ? kMIDIObjectType_Source : kMIDIObjectType_Destination;
            record.backend = system;
            record.name = endpoint.name;
            record.parent = externalEntityFor(endpoint.owner);
            record.address = endpoint.address;
            changes.emplace_back(kMIDIMsgObjectAdded, registry_.add(std::move(record)));
        }
    }
    if (notify)
        for (const auto& [messageID, ref] : changes) postAddRemove(messageID, ref);
}

void MIDIServices::systemBackendGone() {
    NSLog("MIDI: the JACK server has gone away; only virtual MIDI endpoints are available");
    MIDIEndpointBackend* system = system_.load();
    std::vector<MIDIObjectRef> removed;
    {
        std::lock_guard lock(mutex_);
        for (MIDIObjectType type : {kMIDIObjectType_Source, kMIDIObjectType_Destination})
            for (MIDIEndpointRef ref : registry_.endpointsOf(system, type)) {
                registry_.markRemoved(ref);
                removed.push_back(ref);
            }
    }
    for (MIDIObjectRef ref : removed) postAddRemove(kMIDIMsgObjectRemoved, ref);
}
