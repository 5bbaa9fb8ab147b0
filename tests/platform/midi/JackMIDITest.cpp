#include "platform/midi/CoreMIDI.h"
#include "tests/platform/midi/JackPeer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<Byte>;
using namespace std::chrono_literals;

bool inCI() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

bool waitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

std::optional<std::string> nameOf(MIDIObjectRef object) {
    std::optional<std::string> name;
    MIDIObjectGetStringProperty(object, kMIDIPropertyName, &name);
    return name;
}

MIDIEndpointRef findEndpoint(bool source, const std::string& deviceName, const std::string& portName) {
    const ItemCount count = source ? MIDIGetNumberOfSources() : MIDIGetNumberOfDestinations();
    for (ItemCount i = 0; i < count; ++i) {
        const MIDIEndpointRef endpoint = source ? MIDIGetSource(i) : MIDIGetDestination(i);
        MIDIEntityRef entity = 0;
        MIDIDeviceRef device = 0;
        MIDIEndpointGetEntity(endpoint, &entity);
        MIDIEntityGetDevice(entity, &device);
        if (nameOf(endpoint) == portName && nameOf(entity) == deviceName && nameOf(device) == deviceName)
            return endpoint;
    }
    return 0;
}

struct Heard {
    std::mutex mutex;
    std::vector<Bytes> packets;
    std::thread::id thread;
    std::vector<Bytes> take() {
        std::lock_guard lock(mutex);
        return packets;
    }
};

void readProc(const MIDIPacketList* list, void* refCon, void*) {
    auto* heard = static_cast<Heard*>(refCon);
    std::lock_guard lock(heard->mutex);  // the test's own bookkeeping, not the layer's
    heard->thread = std::this_thread::get_id();
    const MIDIPacket* packet = list->packet;
    for (uint32_t i = 0; i < list->numPackets; ++i, packet = MIDIPacketNext(packet))
        heard->packets.emplace_back(packet->data, packet->data + packet->length);
}

struct Notes {
    std::mutex mutex;
    std::vector<MIDIObjectAddRemoveNotification> records;
    std::vector<std::optional<std::string>> names;
};

void notifyProc(const MIDINotification* message, void* refCon) {
    if (message->messageID != kMIDIMsgObjectAdded && message->messageID != kMIDIMsgObjectRemoved) return;
    auto* notes = static_cast<Notes*>(refCon);
    const auto& record = *reinterpret_cast<const MIDIObjectAddRemoveNotification*>(message);
    std::lock_guard lock(notes->mutex);
    notes->records.push_back(record);
    notes->names.push_back(nameOf(record.child));
}

class JackMIDITest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!jackServerRunning()) {
            const char* server = std::getenv("JACK_DEFAULT_SERVER");
            if (inCI()) {
                FAIL() << "no JACK server reachable (JACK_DEFAULT_SERVER=" << (server ? server : "") << ")";
            } else {
                GTEST_SKIP() << "no JACK server running";
            }
        }
        peer = std::make_unique<JackPeer>();
        ASSERT_TRUE(peer->isOpen());
        ASSERT_EQ(MIDIClientCreate("JackMIDITest", notifyProc, &notes, &client), noErr);
    }
    // `notes` goes with the fixture: stop the notifications first (the peer's
    // ports go away after this and are announced).
    void TearDown() override {
        if (client) {
            EXPECT_EQ(MIDIClientDispose(client), noErr);
        }
    }

    // The peer's port `portName`, once the layer has heard of it.
    MIDIEndpointRef peerEndpoint(bool source, const std::string& portName) {
        MIDIEndpointRef endpoint = 0;
        waitFor([&] { return (endpoint = findEndpoint(source, peer->name(), portName)) != 0; });
        return endpoint;
    }

    MIDIPortRef connectedInput(Heard* heard, MIDIEndpointRef source) {
        MIDIPortRef port = 0;
        EXPECT_EQ(MIDIInputPortCreate(client, "in", heard ? readProc : nullptr, heard, &port), noErr);
        EXPECT_EQ(MIDIPortConnectSource(port, source, nullptr), noErr);
        return port;
    }

    std::unique_ptr<JackPeer> peer;
    Notes notes;
    MIDIClientRef client = 0;
};

// One packet list of the given messages, in `buffer`.
const MIDIPacketList* packetList(std::array<Byte, 1024>& buffer, const std::vector<Bytes>& messages) {
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer.data());
    MIDIPacket* packet = MIDIPacketListInit(list);
    for (const Bytes& m : messages) packet = MIDIPacketListAdd(list, buffer.size(), packet, 0, m.size(), m.data());
    return list;
}

TEST_F(JackMIDITest, ControlChangesFromAJackClientReachTheReadCallback) {
    const MIDIEndpointRef out = peerEndpoint(true, "out");
    ASSERT_NE(out, 0u) << "the peer's output port is not listed as a source";
    EXPECT_NE(peerEndpoint(false, "in"), 0u);
    // Our own JACK ports never show up as endpoints.
    for (ItemCount i = 0; i < MIDIGetNumberOfSources(); ++i) {
        MIDIEntityRef entity = 0;
        MIDIEndpointGetEntity(MIDIGetSource(i), &entity);
        EXPECT_NE(nameOf(entity).value_or("").rfind("tembra-midi", 0), 0u);
    }

    // A port without read callback takes the source's events too, and drops them.
    connectedInput(nullptr, out);
    Heard heard;
    const MIDIPortRef port = connectedInput(&heard, out);
    ASSERT_TRUE(peer->waitUntilConnected());
    peer->send({0xB3, 7, 100});
    peer->send({0xB3, 7, 101});
    ASSERT_TRUE(waitFor([&] { return heard.take().size() >= 2; }));
    EXPECT_EQ(heard.take(), (std::vector<Bytes>{{0xB3, 7, 100}, {0xB3, 7, 101}}));
    EXPECT_NE(heard.thread, std::this_thread::get_id());

    // After dispose, nothing more arrives: a port connected later hears the
    // next event, the disposed one does not.
    ASSERT_EQ(MIDIPortDispose(port), noErr);
    Heard later;
    connectedInput(&later, out);
    ASSERT_TRUE(peer->waitUntilConnected());
    peer->send({0xB3, 7, 102});
    ASSERT_TRUE(waitFor([&] { return !later.take().empty(); }));
    EXPECT_EQ(later.take(), (std::vector<Bytes>{{0xB3, 7, 102}}));
    EXPECT_EQ(heard.take().size(), 2u);
}

TEST_F(JackMIDITest, PortsRegisteredLaterAreAnnouncedOnTheNotificationThread) {
    const ItemCount before = MIDIGetNumberOfSources();
    jack_port_t* late = jack_port_register(peer->client(), "late", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_NE(late, nullptr);
    auto announced = [&](MIDINotificationMessageID id) {
        std::lock_guard lock(notes.mutex);
        for (size_t i = 0; i < notes.records.size(); ++i)
            if (notes.records[i].messageID == id && notes.names[i] == "late") return true;
        return false;
    };
    ASSERT_TRUE(waitFor([&] { return announced(kMIDIMsgObjectAdded); }));
    {
        std::lock_guard lock(notes.mutex);
        const auto& record = notes.records.back();
        EXPECT_EQ(record.childType, kMIDIObjectType_Source);
        EXPECT_EQ(record.parentType, kMIDIObjectType_Entity);
        EXPECT_EQ(nameOf(record.parent), peer->name());
    }
    EXPECT_EQ(MIDIGetNumberOfSources(), before + 1);
    EXPECT_NE(findEndpoint(true, peer->name(), "late"), 0u);

    jack_port_unregister(peer->client(), late);
    ASSERT_TRUE(waitFor([&] { return announced(kMIDIMsgObjectRemoved); }));
    EXPECT_EQ(MIDIGetNumberOfSources(), before);
}

TEST_F(JackMIDITest, SendReachesAJackClientsInputPortByteExact) {
    const MIDIEndpointRef in = peerEndpoint(false, "in");
    ASSERT_NE(in, 0u);
    MIDIPortRef out = 0;
    ASSERT_EQ(MIDIOutputPortCreate(client, "out", &out), noErr);

    std::array<Byte, 1024> buffer{};
    ASSERT_EQ(MIDISend(out, in, packetList(buffer, {{0xB0, 1, 0}, {0x95, 60, 127}})), noErr);
    EXPECT_EQ(peer->received(2), (std::vector<Bytes>{{0xB0, 1, 0}, {0x95, 60, 127}}));

    // The second send goes through the same output port of ours.
    ASSERT_EQ(MIDISend(out, in, packetList(buffer, {{0xF8}})), noErr);
    ASSERT_EQ(peer->received(3).size(), 3u);
    EXPECT_EQ(peer->received(3).back(), (Bytes{0xF8}));
}

TEST_F(JackMIDITest, SendReachesADestinationThatCameBackUnderTheSameName) {
    MIDIPortRef out = 0;
    ASSERT_EQ(MIDIOutputPortCreate(client, "out", &out), noErr);
    std::array<Byte, 1024> buffer{};
    ASSERT_EQ(MIDISend(out, peerEndpoint(false, "in"), packetList(buffer, {{0x90, 60, 1}})), noErr);
    ASSERT_EQ(peer->received(1).size(), 1u);

    // The synthesizer restarts: its port goes away with its connections and
    // comes back under the same name. Whichever endpoint the layer lists for
    // it while it follows the change, sends reach the new port.
    const std::string name = peer->name();
    peer.reset();
    peer = std::make_unique<JackPeer>();
    ASSERT_EQ(peer->name(), name);
    ASSERT_TRUE(waitFor([&] {
        MIDISend(out, peerEndpoint(false, "in"), packetList(buffer, {{0x90, 60, 2}}));
        return !peer->received(1, std::chrono::seconds(0)).empty();
    }));
    EXPECT_EQ(peer->received(1).front(), (Bytes{0x90, 60, 2}));
}

}  // namespace

namespace {

TEST_F(JackMIDITest, TheFirstMessageToANewConnectionArrives) {
    MIDIPortRef out = 0;
    ASSERT_EQ(MIDIOutputPortCreate(client, "out", &out), noErr);
    std::array<Byte, 1024> buffer{};
    // Each round the synthesizer comes back, so each first send makes a new connection.
    int lost = 0;
    for (Byte round = 0; round < 20; ++round) {
        if (round > 0) {
            peer.reset();
            peer = std::make_unique<JackPeer>();
        }
        MIDIEndpointRef in = 0;
        ASSERT_TRUE(waitFor([&] { return (in = findEndpoint(false, peer->name(), "in")) != 0; }));
        ASSERT_EQ(MIDISend(out, in, packetList(buffer, {{0x90, 60, round}})), noErr);
        if (peer->received(1, std::chrono::seconds(2)) != std::vector<Bytes>{{0x90, 60, round}}) ++lost;
    }
    EXPECT_EQ(lost, 0);
}

}  // namespace

namespace {

// Holds JACK's process thread, on which read callbacks of JACK sources run,
// until released (or five seconds have passed).
struct Stall {
    std::atomic<bool> holding{false}, release{false};
};

void stallingReadProc(const MIDIPacketList*, void* refCon, void*) {
    auto* stall = static_cast<Stall*>(refCon);
    stall->holding = true;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!stall->release && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    stall->holding = false;
}

TEST_F(JackMIDITest, ADisposeThatCannotDeliverLogsHowManyMessagesWereLeft) {
    LogCapture log;
    static Stall stall;  // outlives a failed assertion while the callback still holds
    MIDIPortRef in = 0;
    ASSERT_EQ(MIDIInputPortCreate(client, "in", stallingReadProc, &stall, &in), noErr);
    ASSERT_EQ(MIDIPortConnectSource(in, peerEndpoint(true, "out"), nullptr), noErr);
    ASSERT_TRUE(peer->waitUntilConnected());
    // Connected to the peer before the stall: nothing below asks the server.
    MIDIPortRef out = 0;
    ASSERT_EQ(MIDIOutputPortCreate(client, "out", &out), noErr);
    const MIDIEndpointRef destination = peerEndpoint(false, "in");
    std::array<Byte, 1024> buffer{};
    ASSERT_EQ(MIDISend(out, destination, packetList(buffer, {{0xF8}})), noErr);
    ASSERT_EQ(peer->received(1).size(), 1u);

    peer->send({0xF8});
    ASSERT_TRUE(waitFor([&] { return stall.holding.load(); }));
    ASSERT_EQ(MIDISend(out, destination, packetList(buffer, {{0x90, 60, 1}, {0x80, 60, 1}})), noErr);
    EXPECT_EQ(MIDIPortDispose(out), noErr);
    stall.release = true;
    EXPECT_EQ(log.count("MIDI: 2 message(s) queued for JACK were not delivered: the JACK server did not take them in time"),
              1u);
    ASSERT_TRUE(waitFor([&] { return !stall.holding.load(); }));
}

}  // namespace
