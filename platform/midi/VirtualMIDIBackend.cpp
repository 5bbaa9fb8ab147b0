#include "platform/midi/VirtualMIDIBackend.h"

OSStatus VirtualMIDIBackend::send(MIDIPortRef, MIDIEndpointRef destination, const std::string&,
                                  const std::vector<MIDIReceivedPacket>& packets) {
    std::shared_ptr<const Listener> listener;
    {
        std::lock_guard lock(mutex_);
        auto& kept = received_[destination];
        kept.insert(kept.end(), packets.begin(), packets.end());
        while (kept.size() > kMaxReceivedPackets) kept.pop_front();
        if (!listeners_.empty()) listener = listeners_.back().second;
    }
    // Outside the lock, so a listener may call the layer.
    if (listener)
        for (const auto& packet : packets) (*listener)(destination, packet);
    return noErr;
}

std::vector<MIDIReceivedPacket> VirtualMIDIBackend::received(MIDIEndpointRef destination) {
    std::lock_guard lock(mutex_);
    const auto it = received_.find(destination);
    if (it == received_.end()) return {};
    return {it->second.begin(), it->second.end()};
}

void VirtualMIDIBackend::clearReceived(MIDIEndpointRef destination) {
    std::lock_guard lock(mutex_);
    received_.erase(destination);
}

uint64_t VirtualMIDIBackend::addListener(Listener listener) {
    std::lock_guard lock(mutex_);
    const uint64_t token = nextToken_++;
    listeners_.emplace_back(token, std::make_shared<const Listener>(std::move(listener)));
    return token;
}

void VirtualMIDIBackend::removeListener(uint64_t token) {
    std::lock_guard lock(mutex_);
    std::erase_if(listeners_, [token](const auto& entry) { return entry.first == token; });
}

void VirtualMIDIBackend::setListener(Listener listener) {
    std::lock_guard lock(mutex_);
    listeners_.clear();
    if (listener) listeners_.emplace_back(nextToken_++, std::make_shared<const Listener>(std::move(listener)));
}

void VirtualMIDIBackend::reset() {
    std::lock_guard lock(mutex_);
    received_.clear();
    listeners_.clear();
}
