// A sound image played by the patch on JACK, recorded by another JACK client.
#include "SoundPlayTesting.h"
#include "patches/sound/TembraSoundWithImage.h"
#include "platform/audio/JACKAudioDevice.h"
#include "tests/platform/audio/AudioTesting.h"
#include "tests/support/TestSupport.h"

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Records both channels of two input ports into memory, up to a fixed length.
class Recorder {
public:
    static constexpr size_t kCapacity = 48000 * 10;

    Recorder() : left(kCapacity), right(kCapacity) {
        client = jack_client_open("tembra-recorder", JackNoStartServer, nullptr);
        if (client == nullptr) return;
        ports[0] = jack_port_register(client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        ports[1] = jack_port_register(client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client, &Recorder::process, this);
        jack_set_xrun_callback(client, &Recorder::xrun, this);
        jack_activate(client);
    }
    ~Recorder() {
        if (client != nullptr) jack_client_close(client);
    }

    bool connect(const std::string& from, int channel) {
        return jack_connect(client, from.c_str(), jack_port_name(ports[channel])) == 0;
    }

    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Recorder*>(arg);
        const auto* l = static_cast<const float*>(jack_port_get_buffer(self->ports[0], frames));
        const auto* r = static_cast<const float*>(jack_port_get_buffer(self->ports[1], frames));
        size_t at = self->recorded.load(std::memory_order_relaxed);
        for (jack_nframes_t i = 0; i < frames && at < kCapacity; ++i, ++at) {
            self->left[at] = l[i];
            self->right[at] = r[i];
        }
        self->recorded.store(at, std::memory_order_release);
        return 0;
    }

    static int xrun(void* arg) {
        static_cast<Recorder*>(arg)->xruns.fetch_add(1);
        return 0;
    }

    jack_client_t* client = nullptr;
    jack_port_t* ports[2] = {nullptr, nullptr};
    std::vector<float> left, right;
    std::atomic<size_t> recorded{0};
    std::atomic<int> xruns{0};
};

uint8_t leftByte(size_t frame) { return static_cast<uint8_t>(1 + (frame * 7) % 250); }
uint8_t rightByte(size_t frame) { return static_cast<uint8_t>(250 - (frame * 3) % 250); }

TEST(SoundOnJACK, ThePlayedImageIsRecordedSampleForSample) {
    LogCapture log;
    Recorder recorder;
    TEMBRA_REQUIRE_JACK(recorder.client != nullptr);
    const AudioDeviceID id = AudioHardware::shared().defaultOutputDevice();
    const auto jack = std::dynamic_pointer_cast<JACKAudioDevice>(AudioHardware::shared().device(id));
    ASSERT_TRUE(jack) << "the default output is JACK when a server runs";
    ASSERT_TRUE(recorder.connect(jack->portName(0), 0));
    ASSERT_TRUE(recorder.connect(jack->portName(1), 1));

    // 512 x 4: two row pairs, 1024 frames a loop.
    const ImageRef image = makeImage(512, 4, [](size_t row, size_t column) {
        const size_t frame = row / 2 * 512 + column;
        return row % 2 == 0 ? leftByte(frame) : rightByte(frame);
    });
    const size_t wanted = 3 * 1024;
    // A loaded machine may miss JACK cycles (xruns), which cut frames out of
    // any recording; only a recording made without one is judged.
    size_t startedAt = 0;
    for (int attempt = 0;; ++attempt) {
        ASSERT_LT(attempt, 5) << "every recording was cut by JACK xruns";
        const int xrunsBefore = recorder.xruns;
        startedAt = recorder.recorded;
        {
            TembraSoundWithImage patch("sound");
            patch.inputImage.setImageValue(image);
            patch.execute(nullptr, 0, nullptr);
            ASSERT_NE(patch.currentOscillator(), nullptr);
            ASSERT_TRUE(patch.currentOscillator()->isPlaying());
            for (int i = 0; i < 1000 && recorder.recorded < startedAt + wanted + 4096; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (recorder.xruns == xrunsBefore) break;
    }
    const size_t recorded = recorder.recorded.load(std::memory_order_acquire);
    size_t first = startedAt;
    while (first < recorded && recorder.left[first] == 0.0f) ++first;
    ASSERT_LT(first + wanted, recorded) << "the sound never reached the recorder";
    for (size_t i = 0; i < wanted; ++i) {
        const size_t frame = i % 1024;
        ASSERT_EQ(recorder.left[first + i], sampleOf(leftByte(frame))) << "frame " << i;
        ASSERT_EQ(recorder.right[first + i], sampleOf(rightByte(frame))) << "frame " << i;
    }
    EXPECT_GE(log.count("loop 512x4"), 3u);
}

}  // namespace
