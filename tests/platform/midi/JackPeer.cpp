#include "JackPeer.h"

#include <jack/midiport.h>
#include <unistd.h>

#include <thread>

JackPeer::JackPeer() : name_("tembra-peer-" + std::to_string(getpid())) {
    client_ = jack_client_open(name_.c_str(), JackNoStartServer, nullptr);
    if (!client_) return;
    name_ = jack_get_client_name(client_);
    toSend_ = jack_ringbuffer_create(1 << 14);
    arrived_ = jack_ringbuffer_create(1 << 14);
    input_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    outputs_[outputCount_++] = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, process, this);
    jack_activate(client_);
}

JackPeer::~JackPeer() {
    if (client_) {
        jack_deactivate(client_);
        jack_client_close(client_);
    }
    if (toSend_) jack_ringbuffer_free(toSend_);
    if (arrived_) jack_ringbuffer_free(arrived_);
}

bool JackPeer::addOutput(const std::string& shortName) {
    if (!client_ || outputCount_ == kMaxOutputs) return false;
    jack_port_t* port = jack_port_register(client_, shortName.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!port) return false;
    outputs_[outputCount_] = port;
    // Published after the port is set, for the process thread.
    __atomic_store_n(&outputCount_, outputCount_ + 1, __ATOMIC_RELEASE);
    return true;
}

bool JackPeer::waitUntilConnected(int index) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (jack_port_connected(outputs_[index]) == 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const uint64_t start = __atomic_load_n(&cycles_, __ATOMIC_ACQUIRE);
    while (__atomic_load_n(&cycles_, __ATOMIC_ACQUIRE) < start + 2) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void JackPeer::send(const std::vector<uint8_t>& bytes, int index) {
    std::vector<char> record{static_cast<char>(index), static_cast<char>(bytes.size())};
    record.insert(record.end(), bytes.begin(), bytes.end());
    jack_ringbuffer_write(toSend_, record.data(), record.size());
}

std::vector<std::vector<uint8_t>> JackPeer::received(size_t count, std::chrono::seconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (true) {
        char length = 0;
        while (jack_ringbuffer_read_space(arrived_) > 0 && jack_ringbuffer_peek(arrived_, &length, 1) == 1 &&
               jack_ringbuffer_read_space(arrived_) >= 1 + static_cast<size_t>(static_cast<uint8_t>(length))) {
            jack_ringbuffer_read_advance(arrived_, 1);
            std::vector<uint8_t> event(static_cast<uint8_t>(length));
            jack_ringbuffer_read(arrived_, reinterpret_cast<char*>(event.data()), event.size());
            collected_.push_back(std::move(event));
        }
        if (collected_.size() >= count || std::chrono::steady_clock::now() > deadline) return collected_;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int JackPeer::process(jack_nframes_t nframes, void* arg) {
    auto& self = *static_cast<JackPeer*>(arg);
    const int outputs = __atomic_load_n(&self.outputCount_, __ATOMIC_ACQUIRE);
    for (int i = 0; i < outputs; ++i) jack_midi_clear_buffer(jack_port_get_buffer(self.outputs_[i], nframes));
    char header[2];
    while (jack_ringbuffer_peek(self.toSend_, header, 2) == 2) {
        const size_t length = static_cast<uint8_t>(header[1]);
        if (jack_ringbuffer_read_space(self.toSend_) < 2 + length) break;
        jack_ringbuffer_read_advance(self.toSend_, 2);
        jack_midi_data_t data[256];
        jack_ringbuffer_read(self.toSend_, reinterpret_cast<char*>(data), length);
        const int index = header[0];
        if (index < outputs) jack_midi_event_write(jack_port_get_buffer(self.outputs_[index], nframes), 0, data, length);
    }
    void* in = jack_port_get_buffer(self.input_, nframes);
    const uint32_t events = jack_midi_get_event_count(in);
    for (uint32_t i = 0; i < events; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, i) != 0 || event.size > 255) continue;
        if (jack_ringbuffer_write_space(self.arrived_) < 1 + event.size) break;
        const char length = static_cast<char>(event.size);
        jack_ringbuffer_write(self.arrived_, &length, 1);
        jack_ringbuffer_write(self.arrived_, reinterpret_cast<const char*>(event.buffer), event.size);
    }
    __atomic_add_fetch(&self.cycles_, 1, __ATOMIC_RELEASE);
    return 0;
}

bool jackServerRunning() {
    jack_client_t* probe = jack_client_open("tembra-probe", JackNoStartServer, nullptr);
    if (!probe) return false;
    jack_client_close(probe);
    return true;
}
