#pragma once

#include "platform/midi/CoreMIDI.h"
#include "platform/midi/MIDIReceivedPacket.h"

#include <cstdint>
#include <functional>

// Sees every packet sent to a virtual destination for as long as the object
// lives. Subscriptions stack: the newest one is called, and when it goes
// the one it covered is called again, so an owner that is replaced never
// silences its successor.
//
// The function runs on the sending thread and may still be running there
// while the subscription is destroyed: it should own what it uses.
class DestinationSubscription {
public:
    using Listener = std::function<void(MIDIEndpointRef destination, const MIDIReceivedPacket& packet)>;

    explicit DestinationSubscription(Listener listener);
    ~DestinationSubscription();
    DestinationSubscription(const DestinationSubscription&) = delete;
    DestinationSubscription& operator=(const DestinationSubscription&) = delete;

private:
    uint64_t token_;
};
