#pragma once

#include "platform/midi/CoreMIDI.h"
#include "platform/midi/MIDIReceivedPacket.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Where an endpoint's traffic goes. Every endpoint holds the backend it came
// from, so the layer's bookkeeping (clients, ports, connections, the
// enumeration) calls the endpoint's backend and never asks which one it is.
//
// `address` is the endpoint's name inside its backend (a JACK port's
// "client:port"; empty for the virtual backend).
class MIDIEndpointBackend {
public:
    // An endpoint that belongs to another program, as the backend sees it.
    struct ExternalEndpoint {
        std::string address, owner, name;  // owner: the program (device and entity)
        bool isSource = false;
    };

    virtual ~MIDIEndpointBackend() = default;

    // Starts delivering what `source` sends to the input port `port`, whose
    // read callback is `readProc`. False when the source cannot be reached.
    // Called with the layer's lock held: post, do not call back.
    virtual bool connect(MIDIPortRef port, MIDIReadProc readProc, void* refCon, const std::string& address) = 0;
    virtual void disconnect(MIDIPortRef port, const std::string& address) = 0;
    // Sends the packets through the output port `port`; called without the
    // layer's lock.
    virtual OSStatus send(MIDIPortRef port, MIDIEndpointRef destination, const std::string& address,
                          const std::vector<MIDIReceivedPacket>& packets) = 0;
    // The port is gone from the layer: what it sent goes out first, then no
    // read callback of it runs once this returns. Called without the lock.
    virtual void portDisposed(MIDIPortRef port) = 0;
    // The other programs' endpoints this backend reaches, for the enumeration.
    virtual std::vector<ExternalEndpoint> externalEndpoints() { return {}; }

    // Holding (a captured show): what other programs send waits instead of
    // reaching the read callbacks, until releaseHeld() hands it over on the
    // caller's thread, so that the caller chooses the frame a message
    // reaches and can write it down. `observe` gets the program and port the
    // message came from, once per message, before the read callback runs.
    // A backend with no other programs holds nothing.
    using HeldObserver = std::function<void(const std::string& owner, const std::string& name, const Byte* data,
                                            size_t length)>;
    virtual void setHolding(bool) {}
    // The number of messages handed over.
    virtual size_t releaseHeld(const HeldObserver&) { return 0; }
    // Messages lost because the queue was full.
    virtual uint64_t heldDropped() const { return 0; }
};
