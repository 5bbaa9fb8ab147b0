#include "EndpointName.h"

#include <optional>

std::string EndpointName(MIDIEndpointRef endpoint) {
    std::string result;

    std::optional<std::string> name;
    MIDIObjectGetStringProperty(endpoint, kMIDIPropertyName, &name);
    if (name) result += *name;

    MIDIEntityRef entity = 0;
    MIDIEndpointGetEntity(endpoint, &entity);
    if (entity == 0) return result;

    if (result.empty()) {
        std::optional<std::string> entityName;
        MIDIObjectGetStringProperty(entity, kMIDIPropertyName, &entityName);
        if (entityName) result += *entityName;
    }

    MIDIDeviceRef device = 0;
    MIDIEntityGetDevice(entity, &device);
    if (device == 0) return result;

    std::optional<std::string> deviceName;
    MIDIObjectGetStringProperty(device, kMIDIPropertyName, &deviceName);
    if (deviceName && *deviceName != result) result = result.empty() ? *deviceName : *deviceName + " " + result;
    return result;
}
