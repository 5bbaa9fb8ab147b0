#include "MIDIPatchTesting.h"

#include <gtest/gtest.h>

const MIDIPacketList* buildPacketList(std::vector<Byte>& memory, const std::vector<Bytes>& packets) {
    memory.assign(4096, 0);
    auto* list = reinterpret_cast<MIDIPacketList*>(memory.data());
    MIDIPacket* packet = MIDIPacketListInit(list);
    for (const Bytes& bytes : packets) {
        packet = MIDIPacketListAdd(list, memory.size(), packet, 0, bytes.size(), bytes.data());
        EXPECT_NE(packet, nullptr);
    }
    return list;
}

void send(MIDIEndpointRef source, const Bytes& bytes) {
    VirtualMIDI::inject(source, bytes);
    VirtualMIDI::flush();
}

std::vector<Bytes> receivedBytes(MIDIEndpointRef destination) {
    std::vector<Bytes> all;
    for (const auto& packet : VirtualMIDI::received(destination)) {
        EXPECT_EQ(packet.timeStamp, 0u);
        all.push_back(packet.bytes);
    }
    return all;
}

std::vector<std::string> linesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& line : lines)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}
