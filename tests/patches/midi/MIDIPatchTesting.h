#pragma once

#include "host/QCPatch.h"
#include "platform/midi/CoreMIDI.h"
#include "platform/midi/VirtualMIDI.h"

#include <string>
#include <vector>

using Bytes = std::vector<Byte>;

// Runs one evaluation of a patch the way the host does.
inline void evaluate(QCPatch& patch) { patch.execute(nullptr, 0.0, nullptr); }

// Construct, setup and enable, as the host does before the first frame.
template <class Patch>
std::unique_ptr<Patch> startPatch(const std::string& identifier = "patch") {
    auto patch = std::make_unique<Patch>(identifier);
    patch->setup(nullptr);
    patch->enable(nullptr);
    return patch;
}

// Builds a packet list of the given messages, one packet each, in `memory`.
const MIDIPacketList* buildPacketList(std::vector<Byte>& memory, const std::vector<Bytes>& packets);

// Injects the bytes as one packet and waits until they have been delivered.
void send(MIDIEndpointRef source, const Bytes& bytes);

// The bytes of every packet a virtual destination received, oldest first,
// after checking that each was sent at once (time stamp 0).
std::vector<Bytes> receivedBytes(MIDIEndpointRef destination);

// Log lines beginning with `prefix`.
std::vector<std::string> linesStartingWith(const std::vector<std::string>& lines, const std::string& prefix);
