#include "platform/midi/VirtualMIDI.h"

#include "platform/midi/MIDIServices.h"

namespace VirtualMIDI {

namespace {
MIDIServices& services() { return MIDIServices::shared(); }
}  // namespace

MIDIDeviceRef createDevice(const std::optional<std::string>& name) {
    return services().createVirtual(kMIDIObjectType_Device, 0, name);
}

MIDIEntityRef createEntity(MIDIDeviceRef device, const std::optional<std::string>& name) {
    return services().createVirtual(kMIDIObjectType_Entity, device, name);
}

MIDIEndpointRef createSource(MIDIEntityRef entity, const std::optional<std::string>& name) {
    return services().createVirtual(kMIDIObjectType_Source, entity, name);
}

MIDIEndpointRef createDestination(MIDIEntityRef entity, const std::optional<std::string>& name) {
    return services().createVirtual(kMIDIObjectType_Destination, entity, name);
}

void removeEndpoint(MIDIEndpointRef endpoint) { services().removeVirtualEndpoint(endpoint); }

void inject(MIDIEndpointRef source, const std::vector<Byte>& bytes, MIDITimeStamp time) {
    services().inject(source, bytes, time);
}

void injectPacketList(MIDIEndpointRef source, const MIDIPacketList* list) { services().injectPacketList(source, list); }

void flush() { services().flush(); }

std::vector<ReceivedPacket> received(MIDIEndpointRef destination) { return services().received(destination); }

void clearReceived(MIDIEndpointRef destination) { services().clearReceived(destination); }

void setDestinationListener(std::function<void(MIDIEndpointRef, const ReceivedPacket&)> listener) {
    services().setDestinationListener(std::move(listener));
}

void reset() { services().reset(); }

}  // namespace VirtualMIDI
