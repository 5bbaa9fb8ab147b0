#include "platform/midi/MIDIServices.h"

#include "platform/foundation/NSLog.h"

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

MIDIServices::MIDIServices()
    : receiveMemory_(kReceiveMemory),
      jack_(JackMIDIBackend::Events{
          [this] {
              // One pending sync serves every change announced before it runs.
              if (!jackSyncPosted_.exchange(true))
                  notificationThread_.post([this] {
                      jackSyncPosted_.store(false);
                      syncJackEndpoints(true);
                  });
          },
          [this] { notificationThread_.post([this] { jackServerGone(); }); }}) {
    targets_.reserve(64);
}

MIDIServices::~MIDIServices() {
    // At exit: our threads first (their tasks use JACK), then JACK (whose
    // callbacks post to them, which is refused once they are stopped).
    notificationThread_.stop();
    receiveThread_.stop();
    jack_.close();
}

// ---- clients and ports

OSStatus MIDIServices::clientCreate(const std::string& name, MIDINotifyProc notifyProc, void* refCon,
                                    MIDIClientRef* out) {
    ensureJack();
    std::lock_guard lock(mutex_);
    const MIDIClientRef ref = registry_.newRef();
    registry_.clients.emplace(ref, MIDIClientRecord{name, notifyProc, refCon});
    if (out) *out = ref;
    return noErr;
}

OSStatus MIDIServices::clientDispose(MIDIClientRef client) {
    {
        // What its ports sent goes out before they go away.
        uint64_t jackSent = 0;
        {
            std::lock_guard lock(mutex_);
            if (!registry_.client(client)) return kMIDIInvalidClient;
            for (const auto& [ref, port] : registry_.ports)
                if (port.client == client) jackSent = std::max(jackSent, port.jackSent);
        }
        if (jackSent) jack_.drain(jackSent);
    }
    std::vector<int> jackSlots;
    {
        std::lock_guard lock(mutex_);
        if (!registry_.clients.erase(client)) return kMIDIInvalidClient;
        std::vector<MIDIPortRef> ports;
        for (const auto& [ref, port] : registry_.ports)
            if (port.client == client) ports.push_back(ref);
        for (MIDIPortRef port : ports) disposePortLocked(port, jackSlots);
    }
    for (int slot : jackSlots) jack_.disposeInput(slot);
    receiveThread_.waitForRunningTask();
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
    if (endpoint->backend == MIDIBackendKind::Jack) {
        // JACK delivers per port of ours, not per connection, so its read
        // callbacks get no connection context.
        if (port->jackSlot < 0) port->jackSlot = jack_.createInput(port->readProc, port->refCon);
        if (!jack_.connectInput(port->jackSlot, endpoint->jackPortName)) return kMIDIObjectNotFound;
    }
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
        const MIDIObjectRecord* endpoint = registry_.object(source);
        if (endpoint && endpoint->backend == MIDIBackendKind::Jack)
            jack_.disconnectInput(port->jackSlot, endpoint->jackPortName);
    }
    receiveThread_.waitForRunningTask();
    return noErr;
}

OSStatus MIDIServices::portDispose(MIDIPortRef port) {
    {
        // What it sent goes out before it goes away.
        uint64_t jackSent = 0;
        {
            std::lock_guard lock(mutex_);
            const MIDIPortRecord* record = registry_.port(port);
            if (!record) return kMIDIInvalidPort;
            jackSent = record->jackSent;
        }
        if (jackSent) jack_.drain(jackSent);
    }
    std::vector<int> jackSlots;
    {
        std::lock_guard lock(mutex_);
        if (!registry_.port(port)) return kMIDIInvalidPort;
        disposePortLocked(port, jackSlots);
    }
    for (int slot : jackSlots) jack_.disposeInput(slot);
    receiveThread_.waitForRunningTask();
    return noErr;
}

void MIDIServices::disposePortLocked(MIDIPortRef port, std::vector<int>& jackSlots) {
    auto it = registry_.ports.find(port);
    if (it == registry_.ports.end()) return;
    if (it->second.jackSlot >= 0) jackSlots.push_back(it->second.jackSlot);
    registry_.ports.erase(it);
}

// ---- holding JACK input

void MIDIServices::holdJackInput(bool hold) { jack_.setHolding(hold); }

size_t MIDIServices::releaseJackInput(const HeldObserver& observe) {
    std::vector<JackMIDIBackend::HeldEvent> events;
    jack_.takeHeld(&events);
    if (events.empty()) return 0;
    using Source = std::pair<std::string, std::string>;  // JACK client, port
    // The JACK sources each of our ports is connected to.
    std::vector<std::vector<Source>> sources(events.size());
    {
        std::lock_guard lock(mutex_);
        std::map<int, std::vector<Source>> bySlot;
        for (const auto& [ref, record] : registry_.ports) {
            if (record.jackSlot < 0) continue;
            std::vector<Source>& list = bySlot[record.jackSlot];
            for (const auto& connection : record.connections) {
                const MIDIObjectRecord* endpoint = registry_.object(connection.first);
                if (!endpoint || endpoint->backend != MIDIBackendKind::Jack) continue;
                const std::string& full = endpoint->jackPortName;
                const size_t colon = full.find(':');
                list.emplace_back(colon == std::string::npos ? full : full.substr(0, colon),
                                  endpoint->name.value_or(colon == std::string::npos ? full : full.substr(colon + 1)));
            }
        }
        for (size_t i = 0; i < events.size(); ++i) sources[i] = bySlot[events[i].slot];
    }
    // JACK hands one message to each of our ports connected to its source,
    // without naming the source. A port connected to one source names it; a
    // port connected to several takes the name another port heard the same
    // message (same time, same bytes) from. Each message is observed once.
    std::set<std::tuple<MIDITimeStamp, std::vector<Byte>, Source>> observed;
    for (size_t i = 0; i < events.size(); ++i) {
        const JackMIDIBackend::HeldEvent& event = events[i];
        Source source;
        if (!sources[i].empty()) source = sources[i].front();
        if (sources[i].size() > 1)
            for (size_t j = 0; j < events.size(); ++j)
                if (sources[j].size() == 1 && events[j].time == event.time && events[j].bytes == event.bytes &&
                    std::find(sources[i].begin(), sources[i].end(), sources[j].front()) != sources[i].end()) {
                    source = sources[j].front();
                    break;
                }
        if (!jack_.deliverHeld(event)) continue;
        if (observe && observed.emplace(event.time, event.bytes, source).second)
            observe(source.first, source.second, event.bytes.data(), event.bytes.size());
    }
    return events.size();
}

// ---- endpoints and properties

ItemCount MIDIServices::endpointCount(MIDIObjectType type) {
    ensureJack();
    std::lock_guard lock(mutex_);
    return type == kMIDIObjectType_Source ? registry_.sourceCount() : registry_.destinationCount();
}

MIDIEndpointRef MIDIServices::endpointAt(MIDIObjectType type, ItemCount index) {
    ensureJack();
    std::lock_guard lock(mutex_);
    return type == kMIDIObjectType_Source ? registry_.sourceAt(index) : registry_.destinationAt(index);
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
    std::shared_ptr<const Listener> listener;
    std::vector<MIDIReceivedPacket> sent;
    std::string jackPort;
    {
        std::lock_guard lock(mutex_);
        const MIDIPortRecord* port = registry_.port(portRef);
        if (!port || port->isInput) return kMIDIInvalidPort;
        MIDIObjectRecord* endpoint = registry_.endpoint(destination, kMIDIObjectType_Destination);
        if (!endpoint) return kMIDIObjectNotFound;
        const MIDIPacket* packet = list->packet;
        for (uint32_t i = 0; i < list->numPackets; ++i, packet = MIDIPacketNext(packet))
            sent.push_back(MIDIReceivedPacket{packet->timeStamp, {packet->data, packet->data + packet->length}});
        if (endpoint->backend == MIDIBackendKind::Jack) {
            jackPort = endpoint->jackPortName;
        } else {
            endpoint->received.insert(endpoint->received.end(), sent.begin(), sent.end());
            while (endpoint->received.size() > MIDIObjectRecord::kMaxReceivedPackets) endpoint->received.pop_front();
            if (!listeners_.empty()) listener = listeners_.back().second;
        }
    }
    // Virtual destinations have taken their packets above; nothing of theirs is queued.
    OSStatus status = noErr;
    uint64_t jackSent = 0;
    for (const auto& packet : sent) {
        if (!jackPort.empty()) {
            const uint64_t number = jack_.send(jackPort, packet.bytes.data(), packet.bytes.size());
            if (number) jackSent = number;
            else status = kMIDIObjectNotFound;
        } else if (listener) {
            (*listener)(destination, packet);
        }
    }
    if (jackSent) {
        std::lock_guard lock(mutex_);
        if (MIDIPortRecord* port = registry_.port(portRef)) port->jackSent = std::max(port->jackSent, jackSent);
    }
    return status;
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
        record.backend = MIDIBackendKind::Virtual;
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
        if (!record || record->removed || record->backend != MIDIBackendKind::Virtual) return;
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
    std::lock_guard lock(mutex_);
    const MIDIObjectRecord* record = registry_.object(destination);
    if (!record) return {};
    return {record->received.begin(), record->received.end()};
}

void MIDIServices::clearReceived(MIDIEndpointRef destination) {
    std::lock_guard lock(mutex_);
    if (MIDIObjectRecord* record = registry_.object(destination)) record->received.clear();
}

void MIDIServices::setDestinationListener(Listener listener) {
    std::lock_guard lock(mutex_);
    listeners_.clear();
    if (listener) listeners_.emplace_back(nextListenerToken_++, std::make_shared<const Listener>(std::move(listener)));
}

uint64_t MIDIServices::addDestinationListener(Listener listener) {
    std::lock_guard lock(mutex_);
    const uint64_t token = nextListenerToken_++;
    listeners_.emplace_back(token, std::make_shared<const Listener>(std::move(listener)));
    return token;
}

void MIDIServices::removeDestinationListener(uint64_t token) {
    std::lock_guard lock(mutex_);
    std::erase_if(listeners_, [token](const auto& entry) { return entry.first == token; });
}

void MIDIServices::reset() {
    // Pending deliveries and notifications belong to the objects being
    // removed: let them finish first.
    flush();
    std::lock_guard lock(mutex_);
    registry_.eraseVirtualObjects();
    listeners_.clear();
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

// ---- JACK

void MIDIServices::ensureJack() {
    if (jackTried_.load()) return;
    std::lock_guard lock(jackOpenMutex_);
    if (jackTried_.load()) return;
    if (jack_.open()) syncJackEndpoints(false);
    jackTried_.store(true);
}

MIDIObjectRef MIDIServices::jackEntityFor(const std::string& clientName) {
    auto it = jackEntities_.find(clientName);
    if (it != jackEntities_.end()) return it->second;
    // Device and entity are both the owning JACK client.
    MIDIObjectRecord device;
    device.type = kMIDIObjectType_Device;
    device.backend = MIDIBackendKind::Jack;
    device.name = clientName;
    MIDIObjectRecord entity = device;
    entity.type = kMIDIObjectType_Entity;
    entity.parent = registry_.add(std::move(device));
    const MIDIEntityRef ref = registry_.add(std::move(entity));
    jackEntities_.emplace(clientName, ref);
    return ref;
}

void MIDIServices::syncJackEndpoints(bool notify) {
    std::lock_guard sync(syncMutex_);
    const std::vector<JackMIDIBackend::PortInfo> ports = jack_.midiPorts();
    std::vector<std::pair<MIDINotificationMessageID, MIDIObjectRef>> changes;
    {
        std::lock_guard lock(mutex_);
        std::set<std::string> present;
        for (const auto& port : ports) present.insert(port.fullName);
        std::set<std::string> known;
        for (MIDIObjectType type : {kMIDIObjectType_Source, kMIDIObjectType_Destination}) {
            const std::vector<MIDIEndpointRef> endpoints = registry_.jackEndpoints(type);
            for (MIDIEndpointRef ref : endpoints) {
                const std::string& name = registry_.object(ref)->jackPortName;
                if (present.count(name)) {
                    known.insert(name);
                } else {
                    registry_.markRemoved(ref);
                    changes.emplace_back(kMIDIMsgObjectRemoved, ref);
                }
            }
        }
        for (const auto& port : ports) {
            if (known.count(port.fullName)) continue;
            MIDIObjectRecord record;
            record.type = port.isSource ? kMIDIObjectType_Source : kMIDIObjectType_Destination;
            record.backend = MIDIBackendKind::Jack;
            record.name = port.shortName;
            record.parent = jackEntityFor(port.clientName);
            record.jackPortName = port.fullName;
            changes.emplace_back(kMIDIMsgObjectAdded, registry_.add(std::move(record)));
        }
    }
    if (notify)
        for (const auto& [messageID, ref] : changes) postAddRemove(messageID, ref);
}

void MIDIServices::jackServerGone() {
    NSLog("MIDI: the JACK server has gone away; only virtual MIDI endpoints are available");
    std::vector<MIDIObjectRef> removed;
    {
        std::lock_guard lock(mutex_);
        for (MIDIObjectType type : {kMIDIObjectType_Source, kMIDIObjectType_Destination}) {
            const std::vector<MIDIEndpointRef> endpoints = registry_.jackEndpoints(type);
            for (MIDIEndpointRef ref : endpoints) {
                registry_.markRemoved(ref);
                removed.push_back(ref);
            }
        }
    }
    for (MIDIObjectRef ref : removed) postAddRemove(kMIDIMsgObjectRemoved, ref);
}
