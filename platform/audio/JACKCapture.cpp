#include "platform/audio/JACKCapture.h"

#include <algorithm>
#include <cstring>

namespace {

void discardMessage(const char*) {}

}  // namespace

std::unique_ptr<JACKCapture> JACKCapture::open(const std::string& pattern, std::string* error) {
    std::unique_ptr<JACKCapture> capture(new JACKCapture());
    try {
        capture->pattern_ = std::regex(pattern, std::regex::ECMAScript | std::regex::optimize);
    } catch (const std::regex_error& e) {
        if (error) *error = "the port pattern \"" + pattern + "\" is no regular expression: " + e.what();
        return nullptr;
    }
    jack_status_t status{};
    jack_set_error_function(discardMessage);
    jack_client_t* client = jack_client_open("tembra-analysis", JackNoStartServer, &status);
    if (client == nullptr) {
        if (error) *error = "no JACK server is running to capture \"" + pattern + "\" from";
        return nullptr;
    }
    capture->client_ = client;
    capture->sampleRate_ = jack_get_sample_rate(client);
    capture->period_ = jack_get_buffer_size(client);
    capture->interleaved_.resize(size_t{kMaxPeriod} * 2);
    capture->ring_ = jack_ringbuffer_create(static_cast<size_t>(capture->sampleRate_ * kRingSeconds) * 2 * sizeof(float));
    if (capture->ring_ == nullptr) {
        if (error) *error = "cannot make the capture ring";
        return nullptr;
    }
    jack_ringbuffer_mlock(capture->ring_);
    const char* names[2] = {"in_1", "in_2"};
    for (int c = 0; c < 2; ++c) {
        capture->ports_[c] = jack_port_register(client, names[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        if (capture->ports_[c] == nullptr) {
            if (error) *error = std::string("cannot register the JACK input port ") + names[c];
            return nullptr;
        }
    }
    jack_set_process_callback(client, &JACKCapture::process, capture.get());
    jack_set_buffer_size_callback(client, &JACKCapture::bufferSizeChanged, capture.get());
    jack_set_port_registration_callback(client, &JACKCapture::portRegistered, capture.get());
    if (jack_activate(client) != 0) {
        if (error) *error = "cannot activate the JACK capture client";
        return nullptr;
    }
    return capture;
}

JACKCapture::~JACKCapture() {
    if (client_ != nullptr) jack_client_close(client_);  // the JACK thread is gone after this
    if (ring_ != nullptr) jack_ringbuffer_free(ring_);
}

std::string JACKCapture::portName(int channel) const { return jack_port_name(ports_[channel & 1]); }

int JACKCapture::process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JACKCapture*>(arg);
    const size_t bytes = size_t{frames} * 2 * sizeof(float);
    if (frames > kMaxPeriod || jack_ringbuffer_write_space(self->ring_) < bytes) {
        self->lost_.fetch_add(frames, std::memory_order_relaxed);
        return 0;
    }
    const auto* left = static_cast<const float*>(jack_port_get_buffer(self->ports_[0], frames));
    const auto* right = static_cast<const float*>(jack_port_get_buffer(self->ports_[1], frames));
    float* out = self->interleaved_.data();
    for (jack_nframes_t i = 0; i < frames; ++i) {
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
    }
    jack_ringbuffer_write(self->ring_, reinterpret_cast<const char*>(out), bytes);
    return 0;
}

void JACKCapture::portRegistered(jack_port_id_t, int registered, void* arg) {
    // Connections cannot be made from this callback; the frame loop makes them.
    if (registered) static_cast<JACKCapture*>(arg)->portsChanged_.store(true, std::memory_order_relaxed);
}

int JACKCapture::bufferSizeChanged(jack_nframes_t frames, void* arg) {
    static_cast<JACKCapture*>(arg)->period_.store(frames, std::memory_order_relaxed);
    return 0;
}

size_t JACKCapture::read(std::vector<float>& stereo) {
    const size_t frames = jack_ringbuffer_read_space(ring_) / (2 * sizeof(float));
    if (frames == 0) return 0;
    const size_t at = stereo.size();
    stereo.resize(at + frames * 2);
    jack_ringbuffer_read(ring_, reinterpret_cast<char*>(stereo.data() + at), frames * 2 * sizeof(float));
    return frames;
}

size_t JACKCapture::connectNewPorts() {
    if (!portsChanged_.exchange(false, std::memory_order_relaxed)) return connected_;
    const char** found = jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
    if (found == nullptr) return connected_;
    std::vector<std::string> matched;
    for (const char** name = found; *name != nullptr; ++name)
        if (std::regex_search(*name, pattern_)) matched.emplace_back(*name);
    jack_free(found);
    std::sort(matched.begin(), matched.end());
    for (size_t i = 0; i < matched.size(); ++i) {
        jack_port_t* source = jack_port_by_name(client_, matched[i].c_str());
        // Our own ports never feed us.
        if (source == nullptr || jack_port_is_mine(client_, source)) continue;
        const int first = static_cast<int>(i % 2);
        for (int c = 0; c < 2; ++c) {
            if (c != first && matched.size() > 1) continue;
            if (!jack_port_connected_to(ports_[c], matched[i].c_str()))
                jack_connect(client_, matched[i].c_str(), jack_port_name(ports_[c]));
        }
    }
    connected_ = matched.size();
    return connected_;
}
