#include "JACKAudioDevice.h"

#include "platform/foundation/NSLog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

void discardMessage(const char*) {}
// What libjack does by default.
void printMessage(const char* message) {
    std::fprintf(stderr, "%s\n", message);
    std::fflush(stderr);
}

}  // namespace

std::shared_ptr<JACKAudioDevice> JACKAudioDevice::open() {
    jack_status_t status{};
    // Never start a server behind the user's back: no server, no device. The
    // library's own lines about a missing server are replaced by ours.
    jack_set_error_function(discardMessage);
    jack_set_info_function(discardMessage);
    jack_client_t* client = jack_client_open("tembra-audio", JackNoStartServer, &status);
    jack_set_error_function(printMessage);
    jack_set_info_function(printMessage);
    if (client == nullptr) {
        NSLog("Audio: no JACK server is running, so there is no audio output device");
        return nullptr;
    }
    std::shared_ptr<JACKAudioDevice> device(new JACKAudioDevice());
    device->client_ = client;
    device->sampleRate_ = jack_get_sample_rate(client);
    device->period_ = jack_get_buffer_size(client);
    device->interleaved_.resize(size_t{kMixFrames} * 2);
    const char* names[2] = {"out_1", "out_2"};
    for (int c = 0; c < 2; ++c) {
        device->ports_[c] = jack_port_register(client, names[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (device->ports_[c] == nullptr) {
            NSLog("Audio: cannot register the JACK output port %s", names[c]);
            return nullptr;
        }
    }
    jack_set_process_callback(client, &JACKAudioDevice::process, device.get());
    jack_set_buffer_size_callback(client, &JACKAudioDevice::bufferSizeChanged, device.get());
    if (jack_activate(client) != 0) {
        NSLog("Audio: cannot activate the JACK client");
        return nullptr;
    }
    const char** playback =
        jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput | JackPortIsPhysical);
    if (playback == nullptr || playback[0] == nullptr) {
        NSLog("Audio: the JACK server has no playback ports; output ports left unconnected");
    } else {
        // Mono playback gets both channels.
        const char* right = playback[1] != nullptr ? playback[1] : playback[0];
        jack_connect(client, jack_port_name(device->ports_[0]), playback[0]);
        jack_connect(client, jack_port_name(device->ports_[1]), right);
    }
    if (playback != nullptr) jack_free(playback);
    return device;
}

JACKAudioDevice::~JACKAudioDevice() {
    if (client_ != nullptr) jack_client_close(client_);  // the IO thread is gone after this
    if (ring_ != nullptr) jack_ringbuffer_free(ring_);
}

void JACKAudioDevice::listening(bool anyone) {
    if (anyone && ring_ == nullptr) {
        ring_ = jack_ringbuffer_create(static_cast<size_t>(sampleRate_ * kRingSeconds) * 2 * sizeof(float));
        if (ring_ == nullptr) return;
        jack_ringbuffer_mlock(ring_);
    }
    if (ring_ == nullptr) return;
    // What an earlier listener left is skipped; only the reading side moves,
    // so this is safe while the IO thread writes.
    if (anyone) {
        jack_ringbuffer_read_advance(ring_, jack_ringbuffer_read_space(ring_));
        lost_ = 0;
    }
    tapping_.store(anyone, std::memory_order_release);
}

void JACKAudioDevice::collectPlayed() {
    if (ring_ == nullptr || !tapping_.load(std::memory_order_acquire)) return;
    constexpr size_t kFrameBytes = 2 * sizeof(float);
    collected_.resize(size_t{kMixFrames} * 2);
    for (;;) {
        const size_t frames = std::min<size_t>(jack_ringbuffer_read_space(ring_) / kFrameBytes, kMixFrames);
        if (frames == 0) break;
        jack_ringbuffer_read(ring_, reinterpret_cast<char*>(collected_.data()), frames * kFrameBytes);
        handToListeners(collected_.data(), static_cast<uint32_t>(frames));
    }
    std::fill(collected_.begin(), collected_.end(), 0.0f);
    for (uint64_t lost = lost_.exchange(0); lost > 0;) {
        const auto frames = static_cast<uint32_t>(std::min<uint64_t>(lost, kMixFrames));
        handToListeners(collected_.data(), frames);
        lost -= frames;
    }
}

std::string JACKAudioDevice::portName(int channel) const {
    return jack_port_name(ports_[channel == 0 ? 0 : 1]);
}

uint32_t JACKAudioDevice::bufferSize() const { return period_.load() * 2 * static_cast<uint32_t>(sizeof(float)); }

AudioStreamBasicDescription JACKAudioDevice::streamFormat() const { return floatStereoFormat(sampleRate_); }

int JACKAudioDevice::process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JACKAudioDevice*>(arg);
    auto* left = static_cast<float*>(jack_port_get_buffer(self->ports_[0], frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(self->ports_[1], frames));
    AudioTimeStamp now;
    now.mFlags = kAudioTimeStampSampleTimeValid | kAudioTimeStampHostTimeValid;
    now.mHostTime = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    for (jack_nframes_t done = 0; done < frames;) {
        const uint32_t chunk = std::min<uint32_t>(kMixFrames, frames - done);
        now.mSampleTime = static_cast<double>(self->framesDone_);
        float* mix = self->interleaved_.data();
        self->mixCycle(mix, chunk, now);
        if (self->tapping_.load(std::memory_order_acquire)) {
            const size_t bytes = size_t{chunk} * 2 * sizeof(float);
            if (jack_ringbuffer_write_space(self->ring_) >= bytes)
                jack_ringbuffer_write(self->ring_, reinterpret_cast<const char*>(mix), bytes);
            else
                self->lost_.fetch_add(chunk, std::memory_order_relaxed);
        }
        for (uint32_t i = 0; i < chunk; ++i) {
            left[done + i] = mix[2 * i];
            right[done + i] = mix[2 * i + 1];
        }
        done += chunk;
        self->framesDone_ += chunk;
    }
    return 0;
}

int JACKAudioDevice::bufferSizeChanged(jack_nframes_t frames, void* arg) {
    static_cast<JACKAudioDevice*>(arg)->period_ = frames;
    return 0;
}
