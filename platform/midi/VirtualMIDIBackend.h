#pragma once

#include "platform/midi/MIDIEndpointBackend.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

// The in-process backend: a send to one of its destinations is kept (the
// latest kMaxReceivedPackets per destination, so a long run does not grow
// without end) and handed to the newest destination listener, on the sending
// thread, before the send returns. Deliveries from its sources run on the
// layer's receive thread, which the layer drives itself.
class VirtualMIDIBackend final : public MIDIEndpointBackend {
public:
    using Listener = std::function<void(MIDIEndpointRef, const MIDIReceivedPacket&)>;
    static constexpr size_t kMaxReceivedPackets = 4096;

    bool connect(MIDIPortRef, MIDIReadProc, void*, const std::string&) override { return true; }
    void disconnect(MIDIPortRef, const std::string&) override {}
    OSStatus send(MIDIPortRef port, MIDIEndpointRef destination, const std::string& address,
                  const std::vector<MIDIReceivedPacket>& packets) override;
    void portDisposed(MIDIPortRef) override {}

    std::vector<MIDIReceivedPacket> received(MIDIEndpointRef destination);
    void clearReceived(MIDIEndpointRef destination);
    // Listeners stack: the latest one added is the one called; removing it
    // brings back the one before. Returns the token that removes it.
    uint64_t addListener(Listener listener);
    void removeListener(uint64_t token);
    void setListener(Listener listener);  // replaces them all; empty removes them
    void reset();                         // forgets what was received, and the listeners

private:
    std::mutex mutex_;
    std::unordered_map<MIDIEndpointRef, std::deque<MIDIReceivedPacket>> received_;
    std::vector<std::pair<uint64_t, std::shared_ptr<const Listener>>> listeners_;  // the last one is called
    uint64_t nextToken_ = 1;
};
