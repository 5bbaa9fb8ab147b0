#include "platform/midi/CoreMIDI.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

TEST(MIDIPacketList, BuiltListHasThePackedLittleEndianLayout) {
    std::array<Byte, 64> buffer{};
    buffer.fill(0xEE);
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer.data());
    MIDIPacket* packet = MIDIPacketListInit(list);
    const Byte cc[] = {0xB2, 0x07, 0x64};
    packet = MIDIPacketListAdd(list, buffer.size(), packet, 0x0102030405060708ull, 3, cc);
    ASSERT_NE(packet, nullptr);
    const Byte clock[] = {0xF8};
    ASSERT_NE(MIDIPacketListAdd(list, buffer.size(), packet, 9, 1, clock), nullptr);

    const std::vector<Byte> expected = {
        2,    0,    0,    0,                               // numPackets
        0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // timeStamp
        3,    0,                                         // length
        0xB2, 0x07, 0x64,                                // data
        9,    0,    0,    0,    0,    0,    0,    0,     // second packet right after, unaligned
        1,    0,    0xF8,
        0xEE,  // nothing written past the list
    };
    EXPECT_EQ(std::vector<Byte>(buffer.begin(), buffer.begin() + expected.size()), expected);
}

TEST(MIDIPacketList, WalkingFindsPacketsOfDifferentLengths) {
    std::array<Byte, 1024> buffer{};
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer.data());
    const std::vector<std::vector<Byte>> messages = {{0xFA}, {0x90, 60, 100}, {0xC0, 5}, {0xF0, 1, 2, 3, 4, 0xF7}};
    MIDIPacket* packet = MIDIPacketListInit(list);
    for (const auto& m : messages) packet = MIDIPacketListAdd(list, buffer.size(), packet, 0, m.size(), m.data());
    ASSERT_EQ(list->numPackets, messages.size());
    const MIDIPacket* walk = list->packet;
    for (const auto& m : messages) {
        EXPECT_EQ(std::vector<Byte>(walk->data, walk->data + walk->length), m);
        walk = MIDIPacketNext(walk);
    }
    EXPECT_EQ(reinterpret_cast<const Byte*>(walk) - buffer.data(), 4 + 4 * 10 + 1 + 3 + 2 + 6);
}

TEST(MIDIPacketList, AddRefusesWhatDoesNotFitTheListSize) {
    std::array<Byte, 64> buffer{};
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer.data());
    const Byte data[3] = {0x90, 1, 2};
    // Room for exactly one three-byte packet: 4 + 10 + 3.
    MIDIPacket* packet = MIDIPacketListInit(list);
    packet = MIDIPacketListAdd(list, 17, packet, 0, 3, data);
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(MIDIPacketListAdd(list, 17, packet, 0, 1, data), nullptr);
    EXPECT_EQ(list->numPackets, 1u);

    packet = MIDIPacketListInit(list);
    EXPECT_EQ(MIDIPacketListAdd(list, 16, packet, 0, 3, data), nullptr);
    EXPECT_EQ(list->numPackets, 0u);
    EXPECT_EQ(MIDIPacketListAdd(list, 2, packet, 0, 0, data), nullptr);  // smaller than the count itself
}

}  // namespace
