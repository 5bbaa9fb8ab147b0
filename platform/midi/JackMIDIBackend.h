#pragma once

#include "platform/midi/MIDIEndpointBackend.h"

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// The process as one JACK client. Other clients' MIDI ports are listed for
// the layer; an input port of ours (one JACK port each, made on demand)
// receives from the JACK ports connected to it on JACK's process thread; a
// send goes through a lock-free ring buffer to the process thread, which
// writes it to an output port of ours connected to the destination.
// Private to the MIDI layer: nothing outside it sees JACK.
class JackMIDIBackend final : public MIDIEndpointBackend {
public:
    struct Events {
        // Ports came or went, or may have (the graph changed); on a JACK
        // thread: post, do not work there.
        std::function<void()> portsChanged;
        std::function<void()> serverGone;    // likewise
    };

    // Connects to a running server (never starts one); without a server,
    // logs one line and returns null.
    static std::unique_ptr<JackMIDIBackend> open(Events events);
    ~JackMIDIBackend() override;
    JackMIDIBackend(const JackMIDIBackend&) = delete;
    JackMIDIBackend& operator=(const JackMIDIBackend&) = delete;

    bool isOpen() const { return client_ != nullptr && !gone_.load(); }
    // Drains what is queued, then leaves the server; no JACK callback runs
    // after this returns.
    void close();

    // The endpoint interface; an endpoint's address is its JACK port's
    // "client:port". Our input port for a port of the layer is made at its
    // first connection; JACK delivers per port of ours, not per connection,
    // so its read callbacks get no connection context.
    bool connect(MIDIPortRef port, MIDIReadProc readProc, void* refCon, const std::string& address) override;
    void disconnect(MIDIPortRef port, const std::string& address) override;
    OSStatus send(MIDIPortRef port, MIDIEndpointRef destination, const std::string& address,
                  const std::vector<MIDIReceivedPacket>& packets) override;
    void portDisposed(MIDIPortRef port) override;
    // Other clients' MIDI ports (ours are left out).
    std::vector<ExternalEndpoint> externalEndpoints() override;

    void setHolding(bool hold) override;
    size_t releaseHeld(const HeldObserver& observe) override;
    uint64_t heldDropped() const override { return heldDropped_.load(); }

    static constexpr int kMaxInputs = 256;
    static constexpr int kMaxOutputs = 128;

private:
    explicit JackMIDIBackend(Events events);
    bool openClient();

    // An input port of ours delivering to `readProc`; its slot, or -1.
    int createInput(MIDIReadProc readProc, void* refCon);
    bool connectInput(int slot, const std::string& sourcePort);
    void disconnectInput(int slot, const std::string& sourcePort);
    // After this returns the read callback of the slot no longer runs.
    void disposeInput(int slot);

    // Queues the bytes as one event for `destinationPort`. Returns the
    // event's number in the order of queueing (from 1), or 0 when it cannot
    // be queued or the destination cannot be reached.
    uint64_t queue(const std::string& destinationPort, const Byte* data, size_t length);
    // Waits until the events numbered up to `through` have been handed to the
    // ports connected to ours, for a few process cycles at most; logs one line
    // with the number left over when that time passes or the server is gone.
    // False in that case.
    bool drain(uint64_t through);

    // What a port of the layer has here.
    struct PortState {
        int input = -1;     // our JACK input port, made at its first connection
        uint64_t sent = 0;  // number of the last event queued through it
        std::vector<std::string> sources;  // the JACK ports connected to it
    };
    struct HeldEvent {
        int slot;
        MIDITimeStamp time;  // when JACK had it, in nanoseconds
        std::vector<Byte> bytes;
    };
    // Appends what is held, in arrival order, to `out`.
    void takeHeld(std::vector<HeldEvent>* out);
    // Hands one to its slot's read callback, on the caller's thread; an event
    // of a slot disposed since is passed over. False then.
    bool deliverHeld(const HeldEvent& event);
    struct InputSlot {
        std::atomic<bool> active{false};
        std::atomic<jack_port_t*> port{nullptr};
        std::atomic<MIDIReadProc> readProc{nullptr};
        std::atomic<void*> refCon{nullptr};
        bool used = false;  // under controlMutex_
    };
    struct OutputSlot {
        std::atomic<jack_port_t*> port{nullptr};
        // Until this process cycle (a value of cycle_ at its start), the
        // port's events wait for a cycle whose graph holds its connection,
        // made lately; written before, nobody would read them.
        std::atomic<uint64_t> awaitConnectionUntil{0};
    };

    static int processCallback(uint32_t nframes, void* arg);
    static void registrationCallback(uint32_t port, int registered, void* arg);
    static int graphOrderCallback(void* arg);
    static void shutdownCallback(void* arg);
    void process(uint32_t nframes);
    void receive(InputSlot& slot, uint32_t nframes);
    void hold(int slot, uint32_t nframes);
    void transmit(uint32_t nframes, uint64_t cycle);
    void awaitConnection(OutputSlot& slot);
    void waitForProcessCycle();
    std::string fullName(jack_port_t* port) const;

    Events events_;
    std::mutex controlMutex_;  // slot tables, port states and JACK requests; never taken on the process thread
    std::unordered_map<MIDIPortRef, PortState> ports_;
    jack_client_t* client_ = nullptr;
    std::atomic<bool> gone_{false};
    std::atomic<uint64_t> cycle_{0};  // odd while a process cycle runs
    std::array<InputSlot, kMaxInputs> inputs_;
    std::atomic<int> inputCount_{0};  // slots in use lie below this
    std::array<OutputSlot, kMaxOutputs> outputs_;
    std::atomic<int> outputCount_{0};
    std::map<std::string, int> outputByDestination_;
    jack_ringbuffer_t* ring_ = nullptr;
    std::mutex sendMutex_;  // one writer at a time into the ring
    std::atomic<uint64_t> queued_{0};     // events written into the ring
    std::atomic<uint64_t> delivered_{0};  // events read by the ports connected to ours
    uint64_t taken_ = 0;                  // events the process thread took from the ring
    std::atomic<bool> holding_{false};
    jack_ringbuffer_t* held_ = nullptr;  // [slot u16, length u16, time u64, bytes]
    std::atomic<uint64_t> heldDropped_{0};
    std::mutex releaseMutex_;  // one reader of held_ at a time
    std::vector<Byte> releaseMemory_;
    // Process-thread memory, allocated once.
    std::vector<Byte> packetListMemory_;
    std::vector<Byte> eventMemory_;
    std::array<void*, kMaxOutputs> outputBuffers_{};
};
