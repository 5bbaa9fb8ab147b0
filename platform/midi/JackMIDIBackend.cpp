#include "platform/midi/JackMIDIBackend.h"

#include "platform/foundation/NSLog.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <tuple>
#include <thread>

namespace {

constexpr size_t kRingSize = 1 << 16;
// Held events between two frames: over a second of a dense controller stream.
constexpr size_t kHeldSize = 1 << 20;
constexpr size_t kHeldHeader = 2 + 2 + sizeof(MIDITimeStamp);
constexpr size_t kPacketListMemory = 1 << 16;
// A queued event: output slot (2 bytes), length (2 bytes), then the bytes.
constexpr size_t kRecordHeader = 4;
// Process cycles that events for a new connection wait for the server's
// graph to hold it.
constexpr uint64_t kConnectionPatience = 32;

// True on JACK's process thread while our cycle runs.
thread_local bool onProcessThread = false;

void quietJackMessage(const char*) {}
void jackMessageToStandardError(const char* message) { std::fprintf(stderr, "JACK: %s\n", message); }

// Connects port `from` to port `to`; true also when they already were.
bool connectPorts(jack_client_t* client, const char* from, const char* to) {
    const int result = jack_connect(client, from, to);
    return result == 0 || result == EEXIST;
}

struct PortNames {
    const char** names;
    ~PortNames() {
        if (names) jack_free(names);
    }
};

}  // namespace

JackMIDIBackend::JackMIDIBackend(Events events)
    : events_(std::move(events)),
      held_(jack_ringbuffer_create(kHeldSize)),
      releaseMemory_(kPacketListMemory),
      packetListMemory_(kPacketListMemory),
      eventMemory_(kRecordHeader + UINT16_MAX) {}

JackMIDIBackend::~JackMIDIBackend() {
    close();
    if (ring_) jack_ringbuffer_free(ring_);
    jack_ringbuffer_free(held_);
}

void JackMIDIBackend::setHolding(bool hold) { holding_.store(hold); }

void JackMIDIBackend::takeHeld(std::vector<HeldEvent>* out) {
    std::lock_guard lock(releaseMutex_);
    Byte header[kHeldHeader];
    while (jack_ringbuffer_read_space(held_) >= kHeldHeader) {
        jack_ringbuffer_peek(held_, reinterpret_cast<char*>(header), kHeldHeader);
        uint16_t slot = 0, length = 0;
        MIDITimeStamp time = 0;
        std::memcpy(&slot, header, 2);
        std::memcpy(&length, header + 2, 2);
        std::memcpy(&time, header + 4, sizeof time);
        // The process thread writes a record whole, but its bytes may become
        // visible after its header.
        if (jack_ringbuffer_read_space(held_) < kHeldHeader + length) break;
        jack_ringbuffer_read_advance(held_, kHeldHeader);
        HeldEvent event{slot, time, std::vector<Byte>(length)};
        jack_ringbuffer_read(held_, reinterpret_cast<char*>(event.bytes.data()), length);
        out->push_back(std::move(event));
    }
}

size_t JackMIDIBackend::releaseHeld(const HeldObserver& observe) {
    std::vector<HeldEvent> events;
    takeHeld(&events);
    if (events.empty()) return 0;
    using Source = std::pair<std::string, std::string>;  // JACK client, port
    // The JACK sources each event's port of ours is connected to.
    std::vector<std::vector<Source>> sources(events.size());
    {
        std::lock_guard lock(controlMutex_);
        std::map<int, std::vector<Source>> bySlot;
        for (const auto& [ref, state] : ports_) {
            if (state.input < 0) continue;
            std::vector<Source>& list = bySlot[state.input];
            for (const std::string& full : state.sources) {
                const size_t colon = full.find(':');
                list.emplace_back(colon == std::string::npos ? full : full.substr(0, colon),
                                  colon == std::string::npos ? full : full.substr(colon + 1));
            }
        }
        for (size_t i = 0; i < events.size(); ++i) sources[i] = bySlot[events[i].slot];
    }
    // JACK hands one message to each of our ports connected to its source,
    // without naming the source. A port connected to one source names it; a
    // port connected to several takes the name another port heard the same
    // message (same time, same bytes) from. Each message is observed once.
    std::set<std::tuple<MIDITimeStamp, std::vector<Byte>, Source>> observed;
    for (size_t i = 0; i < events.size(); ++i) {
        const HeldEvent& event = events[i];
        Source source;
        if (!sources[i].empty()) source = sources[i].front();
        if (sources[i].size() > 1)
            for (size_t j = 0; j < events.size(); ++j)
                if (sources[j].size() == 1 && events[j].time == event.time && events[j].bytes == event.bytes &&
                    std::find(sources[i].begin(), sources[i].end(), sources[j].front()) != sources[i].end()) {
                    source = sources[j].front();
                    break;
                }
        if (!deliverHeld(event)) continue;
        if (observe && observed.emplace(event.time, event.bytes, source).second)
            observe(source.first, source.second, event.bytes.data(), event.bytes.size());
    }
    return events.size();
}

bool JackMIDIBackend::deliverHeld(const HeldEvent& event) {
    if (event.slot < 0 || event.slot >= kMaxInputs) return false;
    InputSlot& input = inputs_[event.slot];
    const MIDIReadProc readProc = input.readProc.load();
    if (!input.active.load() || !readProc) return false;
    auto* list = reinterpret_cast<MIDIPacketList*>(releaseMemory_.data());
    MIDIPacket* packet = MIDIPacketListInit(list);
    if (!MIDIPacketListAdd(list, releaseMemory_.size(), packet, event.time, event.bytes.size(), event.bytes.data()))
        return false;
    readProc(list, input.refCon.load(), nullptr);
    return true;
}

void JackMIDIBackend::hold(int slot, uint32_t nframes) {
    InputSlot& input = inputs_[slot];
    void* buffer = jack_port_get_buffer(input.port.load(std::memory_order_relaxed), nframes);
    const uint32_t count = jack_midi_get_event_count(buffer);
    const jack_nframes_t cycleStart = jack_last_frame_time(client_);
    for (uint32_t e = 0; e < count; ++e) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, e) != 0 || event.size > UINT16_MAX) continue;
        if (jack_ringbuffer_write_space(held_) < kHeldHeader + event.size) {
            heldDropped_.fetch_add(1);
            continue;
        }
        Byte header[kHeldHeader];
        const uint16_t slot16 = static_cast<uint16_t>(slot), length = static_cast<uint16_t>(event.size);
        const MIDITimeStamp time = jack_frames_to_time(client_, cycleStart + event.time) * 1000;  // ns
        std::memcpy(header, &slot16, 2);
        std::memcpy(header + 2, &length, 2);
        std::memcpy(header + 4, &time, sizeof time);
        jack_ringbuffer_write(held_, reinterpret_cast<const char*>(header), kHeldHeader);
        jack_ringbuffer_write(held_, reinterpret_cast<const char*>(event.buffer), event.size);
    }
}

void JackMIDIBackend::close() {
    {
        std::lock_guard lock(controlMutex_);
        if (!client_) return;
    }
    drain(queued_.load());
    std::lock_guard lock(controlMutex_);
    if (!client_) return;
    jack_deactivate(client_);
    jack_client_close(client_);
    client_ = nullptr;
}

std::unique_ptr<JackMIDIBackend> JackMIDIBackend::open(Events events) {
    std::unique_ptr<JackMIDIBackend> backend(new JackMIDIBackend(std::move(events)));
    if (!backend->openClient()) return nullptr;
    return backend;
}

bool JackMIDIBackend::openClient() {
    std::lock_guard lock(controlMutex_);
    // libjack reports a missing server on standard error in several lines;
    // the single log line below says it better.
    jack_set_error_function(quietJackMessage);
    jack_set_info_function(quietJackMessage);
    jack_status_t status{};
    client_ = jack_client_open("tembra-midi", JackNoStartServer, &status);
    jack_set_error_function(jackMessageToStandardError);
    jack_set_info_function(quietJackMessage);
    if (!client_) {
        NSLog("MIDI: no JACK server running; only virtual MIDI endpoints are available");
        return false;
    }
    ring_ = jack_ringbuffer_create(kRingSize);
    jack_set_process_callback(client_, processCallback, this);
    jack_set_port_registration_callback(client_, registrationCallback, this);
    // A client that closes announces its ports' removal before they leave
    // the port list; they are gone once the server has switched to the graph
    // without them, which it announces as a graph-order change.
    jack_set_graph_order_callback(client_, graphOrderCallback, this);
    jack_on_shutdown(client_, shutdownCallback, this);
    if (jack_activate(client_) != 0) {
        NSLog("MIDI: cannot activate the JACK client; only virtual MIDI endpoints are available");
        jack_client_close(client_);
        client_ = nullptr;
        return false;
    }
    return true;
}

std::vector<MIDIEndpointBackend::ExternalEndpoint> JackMIDIBackend::externalEndpoints() {
    std::vector<ExternalEndpoint> result;
    std::lock_guard lock(controlMutex_);
    if (!isOpen()) return result;
    const PortNames names{jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, 0)};
    for (const char** name = names.names; name && *name; ++name) {
        jack_port_t* port = jack_port_by_name(client_, *name);
        if (!port || jack_port_is_mine(client_, port)) continue;
        const int flags = jack_port_flags(port);
        if (!(flags & (JackPortIsOutput | JackPortIsInput))) continue;
        ExternalEndpoint info;
        info.address = *name;
        info.name = jack_port_short_name(port);
        const size_t colon = info.address.find(':');
        info.owner = colon == std::string::npos ? info.address : info.address.substr(0, colon);
        info.isSource = flags & JackPortIsOutput;
        result.push_back(std::move(info));
    }
    return result;
}

int JackMIDIBackend::createInput(MIDIReadProc readProc, void* refCon) {
    std::lock_guard lock(controlMutex_);
    if (!isOpen()) return -1;
    for (int i = 0; i < kMaxInputs; ++i) {
        InputSlot& slot = inputs_[i];
        if (slot.used) continue;
        const std::string name = "in_" + std::to_string(i);
        jack_port_t* port = jack_port_register(client_, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (!port) return -1;
        slot.used = true;
        slot.port.store(port);
        slot.readProc.store(readProc);
        slot.refCon.store(refCon);
        if (i >= inputCount_.load()) inputCount_.store(i + 1);
        slot.active.store(true);
        return i;
    }
    NSLog("MIDI: no more JACK input ports (at most %d)", kMaxInputs);
    return -1;
}

bool JackMIDIBackend::connectInput(int slot, const std::string& sourcePort) {
    std::lock_guard lock(controlMutex_);
    if (!isOpen() || slot < 0 || !inputs_[slot].used) return false;
    return connectPorts(client_, sourcePort.c_str(), fullName(inputs_[slot].port.load()).c_str());
}

void JackMIDIBackend::disconnectInput(int slot, const std::string& sourcePort) {
    std::lock_guard lock(controlMutex_);
    if (!isOpen() || slot < 0 || !inputs_[slot].used) return;
    jack_disconnect(client_, sourcePort.c_str(), fullName(inputs_[slot].port.load()).c_str());
}

void JackMIDIBackend::disposeInput(int slot) {
    std::lock_guard lock(controlMutex_);
    if (slot < 0 || slot >= kMaxInputs || !inputs_[slot].used) return;
    InputSlot& input = inputs_[slot];
    input.active.store(false);
    waitForProcessCycle();
    if (isOpen()) jack_port_unregister(client_, input.port.load());
    input.port.store(nullptr);
    input.used = false;
}

// ---- the endpoint interface

bool JackMIDIBackend::connect(MIDIPortRef port, MIDIReadProc readProc, void* refCon, const std::string& address) {
    int slot = -1;
    {
        std::lock_guard lock(controlMutex_);
        slot = ports_[port].input;
    }
    // The layer connects one port at a time, so nobody else makes this input meanwhile.
    if (slot < 0) {
        slot = createInput(readProc, refCon);
        if (slot < 0) return false;
        std::lock_guard lock(controlMutex_);
        ports_[port].input = slot;
    }
    if (!connectInput(slot, address)) return false;
    std::lock_guard lock(controlMutex_);
    ports_[port].sources.push_back(address);
    return true;
}

void JackMIDIBackend::disconnect(MIDIPortRef port, const std::string& address) {
    int slot = -1;
    {
        std::lock_guard lock(controlMutex_);
        const auto it = ports_.find(port);
        if (it == ports_.end()) return;
        slot = it->second.input;
        std::erase(it->second.sources, address);
    }
    disconnectInput(slot, address);
}

OSStatus JackMIDIBackend::send(MIDIPortRef port, MIDIEndpointRef, const std::string& address,
                               const std::vector<MIDIReceivedPacket>& packets) {
    OSStatus status = noErr;
    uint64_t sent = 0;
    for (const auto& packet : packets) {
        const uint64_t number = queue(address, packet.bytes.data(), packet.bytes.size());
        if (number) sent = number;
        else status = kMIDIObjectNotFound;
    }
    if (sent) {
        std::lock_guard lock(controlMutex_);
        PortState& state = ports_[port];
        state.sent = std::max(state.sent, sent);
    }
    return status;
}

void JackMIDIBackend::portDisposed(MIDIPortRef port) {
    PortState state;
    {
        std::lock_guard lock(controlMutex_);
        const auto it = ports_.find(port);
        if (it == ports_.end()) return;
        state = it->second;
        ports_.erase(it);
    }
    // What it sent goes out before it goes away.
    if (state.sent) drain(state.sent);
    if (state.input >= 0) disposeInput(state.input);
}

// ---- JACK ports of ours

uint64_t JackMIDIBackend::queue(const std::string& destinationPort, const Byte* data, size_t length) {
    if (length == 0 || length > UINT16_MAX) return 0;
    int slot = -1;
    {
        std::lock_guard lock(controlMutex_);
        if (!isOpen()) return 0;
        auto it = outputByDestination_.find(destinationPort);
        if (it != outputByDestination_.end()) {
            slot = it->second;
            // A destination port that went away and came back under the same
            // name has lost its connection to ours.
            jack_port_t* port = outputs_[slot].port.load();
            if (!jack_port_connected_to(port, destinationPort.c_str())) {
                if (!connectPorts(client_, jack_port_name(port), destinationPort.c_str())) return 0;
                awaitConnection(outputs_[slot]);
            }
        } else {
            const int next = outputCount_.load();
            if (next >= kMaxOutputs) return 0;
            const std::string name = "out_" + std::to_string(next);
            jack_port_t* port = jack_port_register(client_, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
            if (!port) return 0;
            if (!connectPorts(client_, jack_port_name(port), destinationPort.c_str())) {
                jack_port_unregister(client_, port);
                return 0;
            }
            awaitConnection(outputs_[next]);
            outputs_[next].port.store(port);
            outputCount_.store(next + 1);
            outputByDestination_.emplace(destinationPort, next);
            slot = next;
        }
    }
    // One contiguous write, so the process thread sees whole records only.
    std::vector<Byte> record(kRecordHeader + length);
    const uint16_t slot16 = static_cast<uint16_t>(slot), length16 = static_cast<uint16_t>(length);
    std::memcpy(record.data(), &slot16, 2);
    std::memcpy(record.data() + 2, &length16, 2);
    std::memcpy(record.data() + kRecordHeader, data, length);
    std::lock_guard lock(sendMutex_);
    if (jack_ringbuffer_write_space(ring_) < record.size()) return 0;
    jack_ringbuffer_write(ring_, reinterpret_cast<const char*>(record.data()), record.size());
    return queued_.fetch_add(1) + 1;
}

void JackMIDIBackend::awaitConnection(OutputSlot& slot) {
    // jack_connect returns once the server has the connection, but the
    // server takes it into its graph only at the start of a later cycle; a
    // cycle under way still runs on the old graph. A destination that went
    // away meanwhile must not hold the queue for long.
    slot.awaitConnectionUntil.store(cycle_.load() + 2 * kConnectionPatience);
}

bool JackMIDIBackend::drain(uint64_t through) {
    if (onProcessThread || delivered_.load() >= through) return true;
    // A few periods, and never less than a time that a loaded machine needs
    // for them; the limit only matters when the server has stalled.
    std::chrono::microseconds limit = std::chrono::milliseconds(500);
    {
        std::lock_guard lock(controlMutex_);
        if (isOpen()) {
            const double period = static_cast<double>(jack_get_buffer_size(client_)) / jack_get_sample_rate(client_);
            limit = std::max(limit, std::chrono::microseconds(static_cast<int64_t>(8 * period * 1e6)));
        } else {
            limit = {};
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (delivered_.load() < through && !gone_.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const uint64_t delivered = delivered_.load();
    if (delivered >= through) return true;
    NSLog("MIDI: %llu message(s) queued for JACK were not delivered: the JACK server %s",
          static_cast<unsigned long long>(through - delivered),
          gone_.load() || limit == std::chrono::microseconds{} ? "is gone" : "did not take them in time");
    return false;
}

int JackMIDIBackend::processCallback(uint32_t nframes, void* arg) {
    static_cast<JackMIDIBackend*>(arg)->process(nframes);
    return 0;
}

void JackMIDIBackend::registrationCallback(uint32_t, int, void* arg) {
    auto* self = static_cast<JackMIDIBackend*>(arg);
    if (self->events_.portsChanged) self->events_.portsChanged();
}

int JackMIDIBackend::graphOrderCallback(void* arg) {
    registrationCallback(0, 0, arg);
    return 0;
}

void JackMIDIBackend::shutdownCallback(void* arg) {
    auto* self = static_cast<JackMIDIBackend*>(arg);
    self->gone_.store(true);
    if (self->events_.serverGone) self->events_.serverGone();
}

void JackMIDIBackend::process(uint32_t nframes) {
    // cycle_ odd marks a running cycle; disposeInput waits on it.
    const uint64_t cycle = cycle_.fetch_add(1);
    onProcessThread = true;
    // What earlier cycles wrote has been read by now: a port connected to
    // ours reads it in the same cycle after us, or in this one before us.
    delivered_.store(taken_);
    const int inputs = inputCount_.load();
    const bool holding = holding_.load();
    for (int i = 0; i < inputs; ++i)
        if (inputs_[i].active.load()) {
            if (holding) hold(i, nframes);
            else receive(inputs_[i], nframes);
        }
    transmit(nframes, cycle);
    onProcessThread = false;
    cycle_.fetch_add(1);
}

void JackMIDIBackend::receive(InputSlot& slot, uint32_t nframes) {
    // An input port may be made without a read callback: its events go nowhere.
    const MIDIReadProc readProc = slot.readProc.load(std::memory_order_relaxed);
    if (!readProc) return;
    void* buffer = jack_port_get_buffer(slot.port.load(std::memory_order_relaxed), nframes);
    const uint32_t count = jack_midi_get_event_count(buffer);
    if (count == 0) return;
    void* refCon = slot.refCon.load(std::memory_order_relaxed);
    auto* list = reinterpret_cast<MIDIPacketList*>(packetListMemory_.data());
    MIDIPacket* packet = MIDIPacketListInit(list);
    const jack_nframes_t cycleStart = jack_last_frame_time(client_);
    for (uint32_t e = 0; e < count; ++e) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, e) != 0) continue;
        const MIDITimeStamp time = jack_frames_to_time(client_, cycleStart + event.time) * 1000;  // ns
        MIDIPacket* added = MIDIPacketListAdd(list, packetListMemory_.size(), packet, time, event.size, event.buffer);
        if (!added && list->numPackets > 0) {
            // Full: hand over what we have and start again.
            readProc(list, refCon, nullptr);
            packet = MIDIPacketListInit(list);
            added = MIDIPacketListAdd(list, packetListMemory_.size(), packet, time, event.size, event.buffer);
        }
        if (added) packet = added;
    }
    if (list->numPackets > 0) readProc(list, refCon, nullptr);
}

void JackMIDIBackend::transmit(uint32_t nframes, uint64_t cycle) {
    const int outputs = outputCount_.load();
    for (int i = 0; i < outputs; ++i) {
        outputBuffers_[i] = jack_port_get_buffer(outputs_[i].port.load(std::memory_order_relaxed), nframes);
        jack_midi_clear_buffer(outputBuffers_[i]);
    }
    while (jack_ringbuffer_read_space(ring_) >= kRecordHeader) {
        uint16_t slot = 0, length = 0;
        jack_ringbuffer_peek(ring_, reinterpret_cast<char*>(eventMemory_.data()), kRecordHeader);
        std::memcpy(&slot, eventMemory_.data(), 2);
        std::memcpy(&length, eventMemory_.data() + 2, 2);
        if (jack_ringbuffer_read_space(ring_) < kRecordHeader + length) break;
        // A port made by a send after this cycle read the count: from the next cycle on.
        if (slot >= outputs) break;
        OutputSlot& output = outputs_[slot];
        // In order: what follows waits too.
        if (cycle < output.awaitConnectionUntil.load() &&
            jack_port_connected(output.port.load(std::memory_order_relaxed)) == 0)
            break;
        jack_ringbuffer_peek(ring_, reinterpret_cast<char*>(eventMemory_.data()), kRecordHeader + length);
        void* buffer = outputBuffers_[slot];
        if (jack_midi_event_write(buffer, 0, eventMemory_.data() + kRecordHeader, length) != 0 &&
            jack_midi_get_event_count(buffer) > 0)
            break;  // this cycle's buffer is full: the rest waits for the next cycle
        // (an event too big for an empty buffer can never be sent and is dropped)
        jack_ringbuffer_read_advance(ring_, kRecordHeader + length);
        ++taken_;
    }
}

void JackMIDIBackend::waitForProcessCycle() {
    if (onProcessThread || !client_) return;
    const uint64_t cycle = cycle_.load();
    if ((cycle & 1) == 0) return;
    while (cycle_.load() == cycle && !gone_.load()) std::this_thread::sleep_for(std::chrono::microseconds(50));
}

std::string JackMIDIBackend::fullName(jack_port_t* port) const { return port ? jack_port_name(port) : ""; }
