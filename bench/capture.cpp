// What `--capture` costs a frame: the fire turned by a knob on JACK that
// sends 1,000 controller messages a second, one frame each 1/60 s, with and
// without a take being written. Both run in this process on a JACK server of
// its own (dummy driver); the frame is drawn off screen at 640x480, as a
// window would have it drawn. The difference between the two, against a
// 60 fps frame (16.7 ms), is what capturing costs; "take_bytes" is the take
// after 600 frames (10 s). live_sound_frame is what keeping live sound costs
// a frame: 800 stereo frames (1/60 s at 48 kHz) of music-like sound through
// the lossless encoder; "ratio" is the packets' size against the raw floats.

#include "platform/foundation/NSLog.h"
#include "tools/tembra/Bundle.h"
#include "tools/tembra/OffscreenSurface.h"
#include "tools/tembra/Session.h"
#include "platform/media/LosslessSound.h"
#include "tools/tembra/ShowCapture.h"

#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <GL/gl.h>

#include <atomic>
#include <cmath>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kFrame = 1.0 / 60;
const std::filesystem::path folder =
    std::filesystem::temp_directory_path() / ("tembra-bench-capture-" + std::to_string(getpid()));

void quiet(const char*) {}

// jackd on the dummy driver, stopped with the object.
class Server {
public:
    explicit Server(const std::string& name) {
        const char* argv[] = {"jackd", "-n", name.c_str(), "-d", "dummy", "-r", "48000", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, "jackd", &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Server() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

private:
    pid_t pid_ = -1;
};

// A knob on "bench-knob:out" turned 1,000 times a second, spread over each cycle.
class Knob {
public:
    explicit Knob(jack_client_t* client) : client_(client) {
        out_ = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client, process, this);
        jack_activate(client);
    }
    jack_port_t* out() const { return out_; }
    uint64_t sent() const { return sent_.load(); }

private:
    static int process(jack_nframes_t nframes, void* arg) {
        auto* self = static_cast<Knob*>(arg);
        void* buffer = jack_port_get_buffer(self->out_, nframes);
        jack_midi_clear_buffer(buffer);
        const double rate = jack_get_sample_rate(self->client_);
        // Messages due by the end of this cycle at 1,000 a second.
        self->frames_ += nframes;
        const uint64_t due = static_cast<uint64_t>(static_cast<double>(self->frames_) / rate * 1000.0);
        const uint64_t now = self->sent_.load();
        for (uint64_t i = now; i < due; ++i) {
            const jack_nframes_t at =
                static_cast<jack_nframes_t>((i - now) * nframes / std::max<uint64_t>(1, due - now));
            const jack_midi_data_t message[3] = {0xB0, 7, static_cast<jack_midi_data_t>(i % 128)};
            jack_midi_event_write(buffer, at, message, 3);
        }
        self->sent_.store(due);
        return 0;
    }
    jack_client_t* client_;
    jack_port_t* out_ = nullptr;
    uint64_t frames_ = 0;
    std::atomic<uint64_t> sent_{0};
};

const char* kDocument = R"({"renderSize": [640, 480], "patches": [
    {"id": "knob", "class": "TembraMIDIInputCC",
     "inputs": {"inputPortName": "bench-knob out$", "inputChannel": 1, "inputController": 7}},
    {"id": "scale", "class": "Expression", "expression": "a * 0.003 + 0.05"},
    {"id": "fire", "class": "TembraFire", "inputs": {"inputPixelsWide": 640, "inputPixelsHigh": 480}}],
    "connections": [
    {"from": "knob.outputValue", "to": "scale.a"},
    {"from": "scale.outputResult", "to": "fire.inputReactionRateCoefficient"},
    {"from": "knob.outputValue", "to": "fire.inputCoolRate", "map": [0.96, 0.995]}]})";

jack_client_t* knobClient = nullptr;

void liveSoundFrame(benchmark::State& state) {
    constexpr size_t kFrames = 800;
    auto encoder = LosslessSoundEncoder::create(48000, nullptr);
    if (!encoder) return state.SkipWithError("no WavPack encoder");
    // Two detuned tones and a little noise, so the encoder has work like music's.
    std::vector<float> sound(kFrames * 2 * 60);
    uint32_t noise = 1;
    for (size_t i = 0; i < sound.size() / 2; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const float n = static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
        sound[2 * i] = 0.3f * std::sin(0.0577f * float(i)) + 0.01f * n;
        sound[2 * i + 1] = 0.3f * std::sin(0.0581f * float(i)) + 0.01f * n;
    }
    std::vector<std::string> packets;
    size_t at = 0, bytes = 0, raw = 0;
    for (auto _ : state) {
        encoder->add(sound.data() + at * 2, kFrames, packets);
        at = (at + kFrames) % (sound.size() / 2);
        raw += kFrames * 2 * sizeof(float);
        for (const std::string& packet : packets) bytes += packet.size() * 3 / 4;
        packets.clear();
    }
    state.counters["ratio"] = raw ? static_cast<double>(bytes) / static_cast<double>(raw) : 0;
}

void frames(benchmark::State& state, bool capturing) {
    if (!knobClient) return state.SkipWithError("cannot start a JACK server (is jackd installed?)");
    static Knob knob(knobClient);
    RunOptions options;
    options.file = (folder / "show.json").string();
    options.fps = 60;
    std::unique_ptr<ShowCapture> capture;
    const std::filesystem::path take = folder / "show.take";
    std::filesystem::remove(take);
    std::string error;
    if (capturing && !(capture = ShowCapture::create(take.string(), &error))) return state.SkipWithError(error.c_str());
    Session session(options);
    auto surface = OffscreenSurface::create(640, 480, &error);
    if (!surface) return state.SkipWithError(error.c_str());
    session.setSurface(std::move(surface));
    session.showFirstImageOutput();
    if (capture) session.setCapture(capture.get());
    session.start();
    long index = 0;
    auto due = Clock::now();
    const uint64_t sentBefore = knob.sent();
    for (auto _ : state) {
        // Frames 1/60 s apart, so that a frame has the messages of a frame.
        state.PauseTiming();
        due += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kFrame));
        std::this_thread::sleep_until(due);
        if (Clock::now() > due + std::chrono::milliseconds(20)) due = Clock::now();
        state.ResumeTiming();
        const double time = static_cast<double>(index) * kFrame;
        session.frame(index++, time, time);
        CGLContextScope current(session.surface()->context());
        glFinish();
    }
    session.finish(static_cast<double>(index) * kFrame);
    state.counters["messages_per_frame"] =
        static_cast<double>(knob.sent() - sentBefore) / static_cast<double>(std::max<long>(1, index));
    if (capture) state.counters["take_bytes"] = static_cast<double>(std::filesystem::file_size(take));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    NSLogSetDestination(LogDestination::None);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "show.json") << kDocument;

    const std::string name = "tembra-bench-capture-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    {
        Server server(name);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!(knobClient = jack_client_open("bench-knob", JackNoStartServer, nullptr)) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        loadBundles({}, QCNodeManager::shared());
        benchmark::RegisterBenchmark("live_sound_frame", liveSoundFrame)->Unit(benchmark::kMicrosecond);
        for (const bool capturing : {false, true})
            benchmark::RegisterBenchmark(capturing ? "fire_knob/with_capture" : "fire_knob/without_capture",
                                         [=](benchmark::State& state) { frames(state, capturing); })
                ->Unit(benchmark::kMillisecond)
                ->Iterations(600)
                ->Repetitions(3);
        benchmark::RunSpecifiedBenchmarks();
        if (knobClient) jack_client_close(knobClient);
        knobClient = nullptr;
    }
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
