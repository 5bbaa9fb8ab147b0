#include "platform/midi/CoreMIDI.h"
#include "platform/midi/VirtualMIDI.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// What a read callback saw, per port.
struct Receiver {
    std::mutex mutex;
    std::vector<std::vector<Byte>> packets;
    std::vector<void*> connRefCons;
    std::thread::id thread;

    std::vector<std::vector<Byte>> take() {
        std::lock_guard lock(mutex);
        return packets;
    }
};

void recordingReadProc(const MIDIPacketList* list, void* refCon, void* connRefCon) {
    auto* receiver = static_cast<Receiver*>(refCon);
    std::lock_guard lock(receiver->mutex);
    receiver->thread = std::this_thread::get_id();
    const MIDIPacket* packet = list->packet;
    for (uint32_t i = 0; i < list->numPackets; ++i, packet = MIDIPacketNext(packet)) {
        receiver->packets.emplace_back(packet->data, packet->data + packet->length);
        receiver->connRefCons.push_back(connRefCon);
    }
}

struct Notification {
    MIDIObjectAddRemoveNotification record;
    std::optional<std::string> childName;
    std::thread::id thread;
};

struct NotificationLog {
    std::mutex mutex;
    std::vector<Notification> seen;
};

void recordingNotifyProc(const MIDINotification* message, void* refCon) {
    auto* log = static_cast<NotificationLog*>(refCon);
    Notification n{};
    if (message->messageID == kMIDIMsgObjectAdded || message->messageID == kMIDIMsgObjectRemoved) {
        n.record = *reinterpret_cast<const MIDIObjectAddRemoveNotification*>(message);
        MIDIObjectGetStringProperty(n.record.child, kMIDIPropertyName, &n.childName);
    }
    n.thread = std::this_thread::get_id();
    std::lock_guard lock(log->mutex);
    log->seen.push_back(n);
}

class VirtualMIDITest : public ::testing::Test {
protected:
    void SetUp() override { VirtualMIDI::reset(); }
    void TearDown() override { VirtualMIDI::reset(); }

    MIDIPortRef inputPort(Receiver& receiver) {
        MIDIClientRef client = 0;
        EXPECT_EQ(MIDIClientCreate("test", nullptr, nullptr, &client), noErr);
        MIDIPortRef port = 0;
        EXPECT_EQ(MIDIInputPortCreate(client, "in", recordingReadProc, &receiver, &port), noErr);
        EXPECT_NE(port, 0u);
        return port;
    }
};

using Bytes = std::vector<std::vector<Byte>>;

TEST_F(VirtualMIDITest, InjectedPacketsReachOnlyConnectedPortsOnTheReceiveThread) {
    const MIDIEndpointRef a = VirtualMIDI::createSource(0, "A");
    const MIDIEndpointRef b = VirtualMIDI::createSource(0, "B");
    Receiver first, second;
    const MIDIPortRef p1 = inputPort(first), p2 = inputPort(second);
    int context = 0;
    ASSERT_EQ(MIDIPortConnectSource(p1, a, &context), noErr);
    ASSERT_EQ(MIDIPortConnectSource(p2, b, nullptr), noErr);

    VirtualMIDI::inject(a, {0xB0, 1, 64});
    VirtualMIDI::inject(a, {0xF8});
    VirtualMIDI::inject(b, {0x90, 60, 1});
    VirtualMIDI::flush();
    EXPECT_EQ(first.take(), (Bytes{{0xB0, 1, 64}, {0xF8}}));
    EXPECT_EQ(first.connRefCons, (std::vector<void*>{&context, &context}));
    EXPECT_EQ(second.take(), (Bytes{{0x90, 60, 1}}));
    EXPECT_NE(first.thread, std::this_thread::get_id());

    // A whole list arrives in one callback, as given.
    std::array<Byte, 64> buffer{};
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer.data());
    MIDIPacket* packet = MIDIPacketListInit(list);
    const Byte two[] = {0xB0, 2, 3, 0xB0, 4, 5};
    packet = MIDIPacketListAdd(list, buffer.size(), packet, 0, 6, two);
    packet = MIDIPacketListAdd(list, buffer.size(), packet, 0, 1, two);
    VirtualMIDI::injectPacketList(b, list);
    VirtualMIDI::flush();
    EXPECT_EQ(second.take(), (Bytes{{0x90, 60, 1}, {0xB0, 2, 3, 0xB0, 4, 5}, {0xB0}}));

    // A packet as long as a packet can be arrives whole.
    std::vector<Byte> longest(UINT16_MAX, 0x7F);
    longest.front() = 0xF0;
    longest.back() = 0xF7;
    VirtualMIDI::inject(b, longest);
    VirtualMIDI::flush();
    const Bytes all = second.take();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_TRUE(all.back() == longest);
}

TEST_F(VirtualMIDITest, DisconnectRemovalAndDisposeStopDelivery) {
    const MIDIEndpointRef a = VirtualMIDI::createSource(0, "A");
    const MIDIEndpointRef b = VirtualMIDI::createSource(0, "B");
    Receiver receiver;
    const MIDIPortRef port = inputPort(receiver);
    ASSERT_EQ(MIDIPortConnectSource(port, a, nullptr), noErr);
    ASSERT_EQ(MIDIPortConnectSource(port, b, nullptr), noErr);

    ASSERT_EQ(MIDIPortDisconnectSource(port, a), noErr);
    VirtualMIDI::inject(a, {0xFA});
    VirtualMIDI::inject(b, {0xFB});
    VirtualMIDI::flush();
    EXPECT_EQ(receiver.take(), (Bytes{{0xFB}}));

    VirtualMIDI::removeEndpoint(b);
    VirtualMIDI::inject(b, {0xFC});
    VirtualMIDI::flush();
    EXPECT_EQ(receiver.take(), (Bytes{{0xFB}}));
    EXPECT_NE(MIDIPortConnectSource(port, b, nullptr), noErr);

    ASSERT_EQ(MIDIPortConnectSource(port, a, nullptr), noErr);
    ASSERT_EQ(MIDIPortDispose(port), noErr);
    VirtualMIDI::inject(a, {0xFA});
    VirtualMIDI::flush();
    EXPECT_EQ(receiver.take(), (Bytes{{0xFB}}));
    EXPECT_EQ(MIDIPortConnectSource(port, a, nullptr), kMIDIInvalidPort);
}

// The receiver's memory goes away right after dispose: no callback may be
// running or start after dispose returns.
std::atomic<int> callbacksRunning{0};
std::atomic<bool> calledAfterDispose{false};
std::atomic<bool> disposed{false};

void slowReadProc(const MIDIPacketList*, void*, void*) {
    callbacksRunning.fetch_add(1);
    if (disposed.load()) calledAfterDispose = true;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (disposed.load()) calledAfterDispose = true;
    callbacksRunning.fetch_sub(1);
}

TEST_F(VirtualMIDITest, NoReadCallbackRunsOnceDisposeHasReturned) {
    const MIDIEndpointRef source = VirtualMIDI::createSource(0, "S");
    MIDIClientRef client = 0;
    MIDIClientCreate("test", nullptr, nullptr, &client);
    for (int round = 0; round < 50; ++round) {
        disposed = false;
        MIDIPortRef port = 0;
        ASSERT_EQ(MIDIInputPortCreate(client, "in", slowReadProc, nullptr, &port), noErr);
        MIDIPortConnectSource(port, source, nullptr);
        for (int i = 0; i < 20; ++i) VirtualMIDI::inject(source, {0xF8});
        std::this_thread::sleep_for(std::chrono::microseconds(100 * (round % 7)));
        ASSERT_EQ(MIDIPortDispose(port), noErr);
        disposed = true;
        EXPECT_EQ(callbacksRunning.load(), 0);
        VirtualMIDI::flush();
        EXPECT_FALSE(calledAfterDispose.load()) << "round " << round;
    }
}

TEST_F(VirtualMIDITest, AddedAndRemovedNotificationsReachEveryNotifyingClientOnTheirOwnThread) {
    NotificationLog log1, log2;
    MIDIClientRef c1 = 0, c2 = 0, quiet = 0;
    ASSERT_EQ(MIDIClientCreate("one", recordingNotifyProc, &log1, &c1), noErr);
    ASSERT_EQ(MIDIClientCreate("two", recordingNotifyProc, &log2, &c2), noErr);
    ASSERT_EQ(MIDIClientCreate("quiet", nullptr, nullptr, &quiet), noErr);
    EXPECT_TRUE(c1 && c2 && quiet && c1 != c2);

    // Know the receive thread, to tell it apart from the notification thread.
    Receiver receiver;
    MIDIPortRef port = 0;
    MIDIInputPortCreate(quiet, "in", recordingReadProc, &receiver, &port);

    const MIDIDeviceRef device = VirtualMIDI::createDevice("Box");
    const MIDIEntityRef entity = VirtualMIDI::createEntity(device, "In");
    const MIDIEndpointRef source = VirtualMIDI::createSource(entity, "Port 1");
    const MIDIEndpointRef destination = VirtualMIDI::createDestination(0, "Out");
    MIDIPortConnectSource(port, source, nullptr);
    VirtualMIDI::inject(source, {0xF8});
    VirtualMIDI::flush();
    VirtualMIDI::removeEndpoint(source);
    VirtualMIDI::flush();

    ASSERT_EQ(log1.seen.size(), 3u);
    const auto& added = log1.seen[0].record;
    EXPECT_EQ(added.messageID, kMIDIMsgObjectAdded);
    EXPECT_EQ(added.messageSize, sizeof(MIDIObjectAddRemoveNotification));
    EXPECT_EQ(added.parent, entity);
    EXPECT_EQ(added.parentType, kMIDIObjectType_Entity);
    EXPECT_EQ(added.child, source);
    EXPECT_EQ(added.childType, kMIDIObjectType_Source);
    EXPECT_EQ(log1.seen[0].childName, "Port 1");

    const auto& addedDestination = log1.seen[1].record;
    EXPECT_EQ(addedDestination.child, destination);
    EXPECT_EQ(addedDestination.childType, kMIDIObjectType_Destination);
    EXPECT_EQ(addedDestination.parent, 0u);

    const auto& removed = log1.seen[2].record;
    EXPECT_EQ(removed.messageID, kMIDIMsgObjectRemoved);
    EXPECT_EQ(removed.child, source);
    EXPECT_EQ(log1.seen[2].childName, "Port 1");  // still named when told

    EXPECT_EQ(log2.seen.size(), 3u);
    for (const auto& n : log1.seen) {
        EXPECT_NE(n.thread, std::this_thread::get_id());
        EXPECT_NE(n.thread, receiver.thread);
    }
    ASSERT_EQ(receiver.take().size(), 1u);

    // A disposed client hears nothing more; the other still does.
    ASSERT_EQ(MIDIClientDispose(c1), noErr);
    VirtualMIDI::createSource(0, "Later");
    VirtualMIDI::flush();
    EXPECT_EQ(log1.seen.size(), 3u);
    EXPECT_EQ(log2.seen.size(), 4u);
    EXPECT_EQ(MIDIClientDispose(c1), kMIDIInvalidClient);
    // Disposing a client disposes its ports.
    EXPECT_EQ(MIDIClientDispose(quiet), noErr);
    EXPECT_EQ(MIDIPortDispose(port), kMIDIInvalidPort);
    MIDIClientDispose(c2);  // log2 ends with this test
}

TEST_F(VirtualMIDITest, NamesEntitiesDevicesAndEnumeration) {
    const MIDIDeviceRef device = VirtualMIDI::createDevice("Synth");
    const MIDIEntityRef entity = VirtualMIDI::createEntity(device, std::nullopt);
    const MIDIEndpointRef named = VirtualMIDI::createSource(entity, "Port 1");
    const MIDIEndpointRef unnamed = VirtualMIDI::createSource(0, std::nullopt);
    const MIDIEndpointRef destination = VirtualMIDI::createDestination(entity, "Thru");

    ASSERT_GE(MIDIGetNumberOfSources(), 2u);  // a JACK server may add more after ours
    EXPECT_EQ(MIDIGetSource(0), named);
    EXPECT_EQ(MIDIGetSource(1), unnamed);
    EXPECT_EQ(MIDIGetDestination(0), destination);
    EXPECT_EQ(MIDIGetSource(100000), 0u);

    std::optional<std::string> name = "stale";
    EXPECT_EQ(MIDIObjectGetStringProperty(named, kMIDIPropertyName, &name), noErr);
    EXPECT_EQ(name, "Port 1");
    name = "stale";
    MIDIObjectGetStringProperty(unnamed, kMIDIPropertyName, &name);
    EXPECT_EQ(name, std::nullopt);
    name = "stale";
    MIDIObjectGetStringProperty(entity, kMIDIPropertyName, &name);
    EXPECT_EQ(name, std::nullopt);
    MIDIObjectGetStringProperty(device, kMIDIPropertyName, &name);
    EXPECT_EQ(name, "Synth");

    MIDIEntityRef gotEntity = 99;
    EXPECT_EQ(MIDIEndpointGetEntity(named, &gotEntity), noErr);
    EXPECT_EQ(gotEntity, entity);
    MIDIEndpointGetEntity(unnamed, &gotEntity);
    EXPECT_EQ(gotEntity, 0u);
    MIDIDeviceRef gotDevice = 99;
    EXPECT_EQ(MIDIEntityGetDevice(entity, &gotDevice), noErr);
    EXPECT_EQ(gotDevice, device);

    VirtualMIDI::removeEndpoint(named);
    EXPECT_EQ(MIDIGetSource(0), unnamed);
    VirtualMIDI::reset();
    for (ItemCount i = 0; i < MIDIGetNumberOfSources(); ++i) EXPECT_NE(MIDIGetSource(i), unnamed);
}

TEST_F(VirtualMIDITest, SendToAVirtualDestinationIsRecordedAndHeard) {
    const MIDIEndpointRef destination = VirtualMIDI::createDestination(0, "Thru");
    MIDIClientRef client = 0;
    MIDIClientCreate("test", nullptr, nullptr, &client);
    MIDIPortRef out = 0, in = 0;
    MIDIOutputPortCreate(client, "out", &out);
    Receiver unused;
    MIDIInputPortCreate(client, "in", recordingReadProc, &unused, &in);

    std::vector<std::pair<MIDIEndpointRef, std::vector<Byte>>> heard;
    VirtualMIDI::setDestinationListener(
        [&](MIDIEndpointRef to, const VirtualMIDI::ReceivedPacket& p) { heard.emplace_back(to, p.bytes); });

    std::array<Byte, 1024> buffer{};
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer.data());
    MIDIPacket* packet = MIDIPacketListInit(list);
    const Byte on[] = {0x91, 60, 100}, stop[] = {0xFC};
    packet = MIDIPacketListAdd(list, buffer.size(), packet, 0, 3, on);
    packet = MIDIPacketListAdd(list, buffer.size(), packet, 42, 1, stop);
    ASSERT_EQ(MIDISend(out, destination, list), noErr);

    const auto received = VirtualMIDI::received(destination);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].bytes, (std::vector<Byte>{0x91, 60, 100}));
    EXPECT_EQ(received[1].bytes, (std::vector<Byte>{0xFC}));
    EXPECT_EQ(received[1].timeStamp, 42u);
    EXPECT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].first, destination);

    EXPECT_EQ(MIDISend(in, destination, list), kMIDIInvalidPort);
    EXPECT_EQ(MIDISend(out, VirtualMIDI::createSource(0, "not a destination"), list), kMIDIObjectNotFound);
    VirtualMIDI::clearReceived(destination);
    EXPECT_TRUE(VirtualMIDI::received(destination).empty());

    // A long run keeps only the latest packets.
    for (int i = 0; i < 5000; ++i) {
        packet = MIDIPacketListInit(list);
        const Byte cc[] = {0xB0, 1, static_cast<Byte>(i % 128)};
        MIDIPacketListAdd(list, buffer.size(), packet, static_cast<MIDITimeStamp>(i), 3, cc);
        MIDISend(out, destination, list);
    }
    const auto kept = VirtualMIDI::received(destination);
    ASSERT_EQ(kept.size(), 4096u);
    EXPECT_EQ(kept.front().timeStamp, 5000u - 4096u);
    EXPECT_EQ(kept.back().timeStamp, 4999u);
}

}  // namespace
