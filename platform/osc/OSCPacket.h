#pragma once

#include "platform/osc/OSCMessage.h"

#include <cstddef>
#include <cstdint>
#include <functional>

// Reads one UDP datagram: a message or a bundle of them (bundles nest up
// to a small depth). Every well-formed message goes to `onMessage`; the
// faults are counted.
struct OSCPacketFaults {
    unsigned malformed = 0;  // not OSC: bad padding, types, sizes, bundles
    unsigned wrongType = 0;  // a first argument that is neither number nor text, a number not finite, text not UTF-8
};

OSCPacketFaults parseOSCPacket(const uint8_t* data, size_t size, const std::function<void(OSCMessage&&)>& onMessage);
