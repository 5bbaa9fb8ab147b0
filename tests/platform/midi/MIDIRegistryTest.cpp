#include "platform/midi/MIDIRegistry.h"
#include "platform/midi/VirtualMIDIBackend.h"

#include <gtest/gtest.h>

namespace {

MIDIObjectRecord endpoint(MIDIObjectType type, MIDIEndpointBackend* backend, const std::string& name) {
    MIDIObjectRecord record;
    record.type = type;
    record.backend = backend;
    record.name = name;
    record.address = name;
    return record;
}

// Endpoints are listed backend by backend in the order the backends were
// added, whatever order their endpoints came in; forgetting one backend's
// objects leaves the other's and their connections alone.
TEST(MIDIRegistry, EnumeratesBackendByBackendAndForgetsOneBackendAlone) {
    VirtualMIDIBackend first, second;
    MIDIRegistry registry;
    registry.addBackend(&first);
    const MIDIEndpointRef late = registry.add(endpoint(kMIDIObjectType_Source, &second, "b1"));
    const MIDIEndpointRef a1 = registry.add(endpoint(kMIDIObjectType_Source, &first, "a1"));
    const MIDIEndpointRef a2 = registry.add(endpoint(kMIDIObjectType_Source, &first, "a2"));
    const MIDIEndpointRef dest = registry.add(endpoint(kMIDIObjectType_Destination, &second, "b2"));
    EXPECT_EQ(registry.endpointCount(kMIDIObjectType_Source), 3u);
    EXPECT_EQ(registry.endpointAt(kMIDIObjectType_Source, 0), a1);
    EXPECT_EQ(registry.endpointAt(kMIDIObjectType_Source, 1), a2);
    EXPECT_EQ(registry.endpointAt(kMIDIObjectType_Source, 2), late);
    EXPECT_EQ(registry.endpointAt(kMIDIObjectType_Source, 3), 0u);
    EXPECT_EQ(registry.endpointAt(kMIDIObjectType_Destination, 0), dest);

    MIDIPortRecord port;
    port.isInput = true;
    port.connections = {{a1, nullptr}, {late, nullptr}};
    registry.ports.emplace(registry.newRef(), port);
    registry.markRemoved(a2);
    EXPECT_EQ(registry.endpointsOf(&first, kMIDIObjectType_Source), std::vector<MIDIEndpointRef>{a1});
    ASSERT_TRUE(registry.object(a2)) << "a removed endpoint keeps its name";
    EXPECT_EQ(registry.endpoint(a2, kMIDIObjectType_Source), nullptr);

    registry.eraseObjectsOf(&second);
    EXPECT_EQ(registry.object(late), nullptr);
    EXPECT_EQ(registry.endpointCount(kMIDIObjectType_Destination), 0u);
    EXPECT_EQ(registry.endpointAt(kMIDIObjectType_Source, 0), a1);
    const auto& connections = registry.ports.begin()->second.connections;
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].first, a1);
}

}  // namespace
