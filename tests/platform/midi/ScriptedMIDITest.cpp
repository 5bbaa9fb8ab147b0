#include "tools/tembra/ScriptedMIDI.h"

#include "platform/midi/VirtualMIDI.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<Byte>;

class ScriptedMIDITest : public ::testing::Test {
protected:
    void SetUp() override { VirtualMIDI::reset(); }
    void TearDown() override { VirtualMIDI::reset(); }
};

std::string errorOf(const std::string& text) {
    const CompositionDocument document = CompositionDocument::parse(text, "doc.json");
    try {
        ScriptedMIDI midi(document, false);
    } catch (const CompositionError& e) {
        return e.what();
    }
    return "no error";
}

TEST_F(ScriptedMIDITest, BadDeclarationsNameTheFileLineAndFault) {
    const std::string head = "{\"patches\": [],\n\"midiSources\": [\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {head + "{\"name\": \"Keys\", \"events\": [\n{\"time\": 0, \"bytes\": [256]}]}]}",
         "doc.json:4: event of MIDI source \"Keys\": \"bytes\" must be a non-empty array of integers 0 to 255"},
        {head + "{\"name\": \"Keys\", \"events\": [{\"time\": 0, \"bytes\": [1]},\n{\"time\": 0, \"bytes\": [-1]}]}]}",
         "doc.json:4: event of MIDI source \"Keys\": \"bytes\" must be a non-empty array of integers 0 to 255"},
        {head + "{\"name\": \"Keys\", \"events\": [{\"time\": 0, \"bytes\": [144, 60.5, 1]}]}]}",
         "doc.json:3: event of MIDI source \"Keys\": \"bytes\" must be a non-empty array of integers 0 to 255"},
        {head + "{\"name\": \"Keys\", \"events\": [{\"time\": 0, \"bytes\": []}]}]}",
         "doc.json:3: event of MIDI source \"Keys\": \"bytes\" must be a non-empty array of integers 0 to 255"},
        {head + "{\"name\": \"Keys\", \"events\": [{\"time\": -0.5, \"bytes\": [248]}]}]}",
         "doc.json:3: event of MIDI source \"Keys\": \"time\" must be a non-negative number of seconds"},
        {head + "{\"name\": \"Keys\", \"events\": [{\"time\": \"soon\", \"bytes\": [248]}]}]}",
         "doc.json:3: event of MIDI source \"Keys\": \"time\" must be a non-negative number of seconds"},
        {head + "{\"name\": \"A\"},\n{\"name\": 5}]}", "doc.json:4: each MIDI source needs a string \"name\""},
        {head + "{\"name\": \"Keys\", \"device\": 1}]}",
         "doc.json:3: \"device\" of MIDI source \"Keys\" must be a string"},
        {head + "{\"name\": \"Keys\", \"events\": {}}]}",
         "doc.json:3: \"events\" of MIDI source \"Keys\" must be an array"},
        {"{\"patches\": [],\n\n\"midiSources\": {}}", "doc.json:3: \"midiSources\" must be an array"},
        {"{\"patches\": [],\n\"midiDestinations\": [\n{}]}", "doc.json:3: each MIDI destination needs a string \"name\""},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(errorOf(text), expected) << text;
}

struct Heard {
    std::mutex mutex;
    std::vector<Bytes> packets;
};

void readProc(const MIDIPacketList* list, void* refCon, void*) {
    auto* heard = static_cast<Heard*>(refCon);
    std::lock_guard lock(heard->mutex);
    const MIDIPacket* packet = list->packet;
    for (uint32_t i = 0; i < list->numPackets; ++i, packet = MIDIPacketNext(packet))
        heard->packets.emplace_back(packet->data, packet->data + packet->length);
}

TEST_F(ScriptedMIDITest, EventsArePlayedInTimeOrderBeforeTheirFrameAndDelivered) {
    const CompositionDocument document = CompositionDocument::parse(R"({"patches": [],
        "midiSources": [
            {"name": "Keys", "device": "Script", "events": [
                {"time": 0.5, "bytes": [176, 1, 64]},
                {"time": 0, "bytes": [250]},
                {"time": 0.25, "bytes": [248]}]},
            {"name": "Pads", "events": [{"time": 0.25, "bytes": [153, 36, 100]}]}],
        "midiDestinations": [{"name": "Thru", "device": "Script"}]})",
                                                                    "doc.json");
    ScriptedMIDI midi(document, false);

    // The endpoints exist as soon as the object does, named by the document.
    ASSERT_EQ(MIDIGetNumberOfSources() >= 2 && MIDIGetNumberOfDestinations() >= 1, true);
    const MIDIEndpointRef keys = MIDIGetSource(0), pads = MIDIGetSource(1);
    std::optional<std::string> name;
    MIDIObjectGetStringProperty(keys, kMIDIPropertyName, &name);
    EXPECT_EQ(name, "Keys");
    MIDIEntityRef entity = 0;
    MIDIDeviceRef device = 0;
    MIDIEndpointGetEntity(keys, &entity);
    MIDIEntityGetDevice(entity, &device);
    MIDIObjectGetStringProperty(device, kMIDIPropertyName, &name);
    EXPECT_EQ(name, "Script");
    MIDIEndpointGetEntity(pads, &entity);
    EXPECT_EQ(entity, 0u);
    // One device "Script" (with one entity) serves both endpoints that name it.
    MIDIEntityRef keysEntity = 0, thruEntity = 0;
    MIDIEndpointGetEntity(keys, &keysEntity);
    MIDIEndpointGetEntity(MIDIGetDestination(0), &thruEntity);
    EXPECT_EQ(thruEntity, keysEntity);

    MIDIClientRef client = 0;
    MIDIClientCreate("test", nullptr, nullptr, &client);
    Heard heardKeys, heardPads;
    MIDIPortRef keysPort = 0, padsPort = 0;
    MIDIInputPortCreate(client, "keys", readProc, &heardKeys, &keysPort);
    MIDIInputPortCreate(client, "pads", readProc, &heardPads, &padsPort);
    MIDIPortConnectSource(keysPort, keys, nullptr);
    MIDIPortConnectSource(padsPort, pads, nullptr);

    midi.playUntil(0.0);  // no flush needed by the caller: delivered on return
    EXPECT_EQ(heardKeys.packets, (std::vector<Bytes>{{0xFA}}));
    midi.playUntil(1.0 / 60);
    EXPECT_EQ(heardKeys.packets.size(), 1u);
    midi.playUntil(0.25);
    EXPECT_EQ(heardKeys.packets, (std::vector<Bytes>{{0xFA}, {0xF8}}));
    EXPECT_EQ(heardPads.packets, (std::vector<Bytes>{{0x99, 36, 100}}));
    midi.playUntil(30.0 / 60);  // 0.5 exactly as a frame time
    EXPECT_EQ(heardKeys.packets.back(), (Bytes{0xB0, 1, 64}));
    midi.playUntil(10.0);
    EXPECT_EQ(heardKeys.packets.size(), 3u);
    MIDIClientDispose(client);
}

TEST(ScriptedMIDIPrinting, PacketLinesShowTimeAndHexBytes) {
    EXPECT_EQ(ScriptedMIDI::describePacket("Thru", 0.5, {0x90, 0x3C, 0x64}), "midi Thru t=0.500 90 3C 64");
    EXPECT_EQ(ScriptedMIDI::describePacket("Out 2", 1.0 / 3, {0xF8}), "midi Out 2 t=0.333 F8");
}

}  // namespace
