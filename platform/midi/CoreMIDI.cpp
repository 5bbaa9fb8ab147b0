#include "platform/midi/CoreMIDI.h"

#include "platform/midi/MIDIServices.h"

namespace {
MIDIServices& services() { return MIDIServices::shared(); }
}  // namespace

OSStatus MIDIClientCreate(const std::string& name, MIDINotifyProc notifyProc, void* notifyRefCon,
                          MIDIClientRef* outClient) {
    return services().clientCreate(name, notifyProc, notifyRefCon, outClient);
}

OSStatus MIDIClientDispose(MIDIClientRef client) { return services().clientDispose(client); }

OSStatus MIDIInputPortCreate(MIDIClientRef client, const std::string& portName, MIDIReadProc readProc, void* refCon,
                             MIDIPortRef* outPort) {
    return services().portCreate(client, portName, readProc, refCon, true, outPort);
}

OSStatus MIDIOutputPortCreate(MIDIClientRef client, const std::string& portName, MIDIPortRef* outPort) {
    return services().portCreate(client, portName, nullptr, nullptr, false, outPort);
}

OSStatus MIDIPortConnectSource(MIDIPortRef port, MIDIEndpointRef source, void* connRefCon) {
    return services().connectSource(port, source, connRefCon);
}

OSStatus MIDIPortDisconnectSource(MIDIPortRef port, MIDIEndpointRef source) {
    return services().disconnectSource(port, source);
}

OSStatus MIDIPortDispose(MIDIPortRef port) { return services().portDispose(port); }

ItemCount MIDIGetNumberOfSources() { return services().endpointCount(kMIDIObjectType_Source); }

MIDIEndpointRef MIDIGetSource(ItemCount index) { return services().endpointAt(kMIDIObjectType_Source, index); }

ItemCount MIDIGetNumberOfDestinations() { return services().endpointCount(kMIDIObjectType_Destination); }

MIDIEndpointRef MIDIGetDestination(ItemCount index) {
    return services().endpointAt(kMIDIObjectType_Destination, index);
}

OSStatus MIDIObjectGetStringProperty(MIDIObjectRef obj, MIDIPropertyID propertyID, std::optional<std::string>* str) {
    if (propertyID != kMIDIPropertyName) {
        str->reset();
        return kMIDIUnknownProperty;
    }
    return services().name(obj, str);
}

OSStatus MIDIEndpointGetEntity(MIDIEndpointRef endpoint, MIDIEntityRef* outEntity) {
    return services().parent(endpoint, kMIDIObjectType_Source, outEntity);
}

OSStatus MIDIEntityGetDevice(MIDIEntityRef entity, MIDIDeviceRef* outDevice) {
    return services().parent(entity, kMIDIObjectType_Entity, outDevice);
}

OSStatus MIDISend(MIDIPortRef port, MIDIEndpointRef dest, const MIDIPacketList* pktlist) {
    return services().send(port, dest, pktlist);
}
