#include "platform/midi/CoreMIDI.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
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

// A second JACK client standing for a MIDI device: it plays what the test
// queues through its output port and records what its input port receives.
class JackPeer {
public:
    JackPeer() {
        client_ = jack_client_open("midi-peer", JackNoStartServer, nullptr);
        if (!client_) return;
        out_ = jack_port_register(client_, "keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        in_ = jack_port_register(client_, "synth", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        toPlay_ = jack_ringbuffer_create(4096);
        heard_ = jack_ringbuffer_create(4096);
        jack_set_process_callback(client_, process, this);
        jack_activate(client_);
    }
    ~JackPeer() {
        if (client_) jack_client_close(client_);
        if (toPlay_) jack_ringbuffer_free(toPlay_);
        if (heard_) jack_ringbuffer_free(heard_);
    }
    bool ok() const { return client_ && out_ && in_; }
    std::string name() const { return jack_get_client_name(client_); }
    jack_client_t* client() const { return client_; }

    void play(const Bytes& bytes) { writeRecord(toPlay_, bytes.data(), bytes.size()); }
    // Every event heard so far, oldest first.
    std::vector<Bytes> heard() {
        Byte event[256];
        while (size_t length = readRecord(heard_, event)) heardSoFar_.emplace_back(event, event + length);
        return heardSoFar_;
    }

private:
    // Records are a length byte and the bytes, written in one go so that the
    // reader never sees half of one.
    static void writeRecord(jack_ringbuffer_t* ring, const Byte* bytes, size_t length) {
        Byte record[257];
        record[0] = static_cast<Byte>(length);
        std::memcpy(record + 1, bytes, length);
        jack_ringbuffer_write(ring, reinterpret_cast<const char*>(record), length + 1);
    }
    // Reads one whole record into `bytes`; returns its length, 0 when none.
    static size_t readRecord(jack_ringbuffer_t* ring, Byte* bytes) {
        Byte length = 0;
        if (jack_ringbuffer_peek(ring, reinterpret_cast<char*>(&length), 1) < 1) return 0;
        if (length == 0 || jack_ringbuffer_read_space(ring) < 1u + length) return 0;
        jack_ringbuffer_read_advance(ring, 1);
        jack_ringbuffer_read(ring, reinterpret_cast<char*>(bytes), length);
        return length;
    }

    static int process(jack_nframes_t nframes, void* arg) {
        auto* self = static_cast<JackPeer*>(arg);
        void* out = jack_port_get_buffer(self->out_, nframes);
        jack_midi_clear_buffer(out);
        Byte event[256];
        while (size_t length = readRecord(self->toPlay_, event)) jack_midi_event_write(out, 0, event, length);
        void* in = jack_port_get_buffer(self->in_, nframes);
        for (uint32_t i = 0; i < jack_midi_get_event_count(in); ++i) {
            jack_midi_event_t e;
            jack_midi_event_get(&e, in, i);
            if (e.size > 0 && e.size < 256) writeRecord(self->heard_, e.buffer, e.size);
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_ringbuffer_t* toPlay_ = nullptr;
    jack_ringbuffer_t* heard_ = nullptr;
    std::vector<Bytes> heardSoFar_;
};

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
        if (!peer.ok()) {
            const char* server = std::getenv("JACK_DEFAULT_SERVER");
            if (inCI()) {
                FAIL() << "no JACK server reachable (JACK_DEFAULT_SERVER=" << (server ? server : "") << ")";
            } else {
                GTEST_SKIP() << "no JACK server running";
            }
        }
        ASSERT_EQ(MIDIClientCreate("JackMIDITest", notifyProc, &notes, &client), noErr);
    }
    // `notes` goes with the fixture: stop the notifications first (the peer's
    // ports go away after this and are announced).
    void TearDown() override {
        if (client) {
            EXPECT_EQ(MIDIClientDispose(client), noErr);
        }
    }

    JackPeer peer;
    Notes notes;
    MIDIClientRef client = 0;
};

TEST_F(JackMIDITest, ControlChangesFromAJackClientReachTheReadCallback) {
    const MIDIEndpointRef keys = findEndpoint(true, peer.name(), "keys");
    ASSERT_NE(keys, 0u) << "the peer's output port is not listed as a source";
    EXPECT_NE(findEndpoint(false, peer.name(), "synth"), 0u);
    // Our own JACK ports never show up as endpoints.
    for (ItemCount i = 0; i < MIDIGetNumberOfSources(); ++i) {
        MIDIEntityRef entity = 0;
        MIDIEndpointGetEntity(MIDIGetSource(i), &entity);
        EXPECT_NE(nameOf(entity).value_or("").rfind("tembra-midi", 0), 0u);
    }

    Heard heard;
    MIDIPortRef port = 0;
    ASSERT_EQ(MIDIInputPortCreate(client, "in", readProc, &heard, &port), noErr);
    ASSERT_EQ(MIDIPortConnectSource(port, keys, nullptr), noErr);
    // Connections are made in the server's graph; give it a cycle or two.
    std::this_thread::sleep_for(100ms);
    peer.play({0xB3, 7, 100});
    peer.play({0xB3, 7, 101});
    ASSERT_TRUE(waitFor([&] { return heard.take().size() >= 2; }));
    EXPECT_EQ(heard.take(), (std::vector<Bytes>{{0xB3, 7, 100}, {0xB3, 7, 101}}));
    EXPECT_NE(heard.thread, std::this_thread::get_id());

    // After dispose, nothing more arrives.
    ASSERT_EQ(MIDIPortDispose(port), noErr);
    peer.play({0xB3, 7, 102});
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(heard.take().size(), 2u);
}

TEST_F(JackMIDITest, PortsRegisteredLaterAreAnnouncedOnTheNotificationThread) {
    const ItemCount before = MIDIGetNumberOfSources();
    jack_port_t* late = jack_port_register(peer.client(), "late", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
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
        EXPECT_EQ(nameOf(record.parent), peer.name());
    }
    EXPECT_EQ(MIDIGetNumberOfSources(), before + 1);
    EXPECT_NE(findEndpoint(true, peer.name(), "late"), 0u);

    jack_port_unregister(peer.client(), late);
    ASSERT_TRUE(waitFor([&] { return announced(kMIDIMsgObjectRemoved); }));
    EXPECT_EQ(MIDIGetNumberOfSources(), before);
}

TEST_F(JackMIDITest, SendReachesAJackClientsInputPortByteExact) {
    const MIDIEndpointRef synth = findEndpoint(false, peer.name(), "synth");
    ASSERT_NE(synth, 0u);
    MIDIPortRef out = 0;
    ASSERT_EQ(MIDIOutputPortCreate(client, "out", &out), noErr);

    std::array<Byte, 1024> buffer{};
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer.data());
    MIDIPacket* packet = MIDIPacketListInit(list);
    const Byte cc[] = {0xB0, 1, 0}, on[] = {0x95, 60, 127};
    packet = MIDIPacketListAdd(list, buffer.size(), packet, 0, 3, cc);
    packet = MIDIPacketListAdd(list, buffer.size(), packet, 0, 3, on);
    ASSERT_EQ(MIDISend(out, synth, list), noErr);
    ASSERT_TRUE(waitFor([&] { return peer.heard().size() >= 2; }));
    EXPECT_EQ(peer.heard(), (std::vector<Bytes>{{0xB0, 1, 0}, {0x95, 60, 127}}));

    // The second send goes through the same output port of ours.
    const Byte clock[] = {0xF8};
    packet = MIDIPacketListInit(list);
    MIDIPacketListAdd(list, buffer.size(), packet, 0, 1, clock);
    ASSERT_EQ(MIDISend(out, synth, list), noErr);
    ASSERT_TRUE(waitFor([&] { return peer.heard().size() >= 3; }));
    EXPECT_EQ(peer.heard().back(), (Bytes{0xF8}));
}

}  // namespace
