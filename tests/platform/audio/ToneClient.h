#pragma once

#include <jack/jack.h>

#include <cmath>
#include <cstdint>
#include <numbers>

// A JACK client "tembra-test-tone" playing a sine on its port "out" for as
// long as it lives; `client` is null when no server runs.
class ToneClient {
public:
    explicit ToneClient(double hz) : hz_(hz) {
        client = jack_client_open("tembra-test-tone", JackNoStartServer, nullptr);
        if (client == nullptr) return;
        rate_ = jack_get_sample_rate(client);
        port_ = jack_port_register(client, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client, &ToneClient::process, this);
        jack_activate(client);
    }
    ~ToneClient() {
        if (client != nullptr) jack_client_close(client);
    }
    ToneClient(const ToneClient&) = delete;
    ToneClient& operator=(const ToneClient&) = delete;

    jack_client_t* client = nullptr;

private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<ToneClient*>(arg);
        auto* out = static_cast<float*>(jack_port_get_buffer(self->port_, frames));
        for (jack_nframes_t i = 0; i < frames; ++i, ++self->frame_)
            out[i] = 0.5f * static_cast<float>(
                              std::sin(2 * std::numbers::pi * self->hz_ * double(self->frame_) / self->rate_));
        return 0;
    }

    double hz_, rate_ = 48000;
    jack_port_t* port_ = nullptr;
    uint64_t frame_ = 0;
};
