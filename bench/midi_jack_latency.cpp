// Latency of a note through tembra over JACK: from the moment a message
// arrives at tembra's JACK input to the moment the same message leaves its
// JACK output, through TembraMIDIInputNote -> TembraMIDIOutputNote in
// `tembra run --realtime` (default frame rate), on a JACK server of its own
// (dummy driver at JACK's default period). Both moments are JACK frame
// times, taken by a client of this program that plays the notes and hears
// them come back.

#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kNotes = 1000;
constexpr int kWarmUpNotes = 10;
constexpr uint8_t kNote = 60;

void quiet(const char*) {}

// A child process, ended (SIGINT, then SIGKILL after a while) with the object.
class Child {
public:
    // `quiet`: its output goes nowhere.
    Child(const std::vector<std::string>& arguments, bool quiet) {
        std::vector<char*> argv;
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (quiet) {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        }
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (pid_ <= 0) return;
        kill(pid_, SIGINT);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

private:
    pid_t pid_ = -1;
};

// Waits until `done` holds or `limit` has passed.
template <class Condition>
bool waitFor(Condition done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Plays one message at a time on "out" and waits for the same bytes on
// "in"; the next message follows after a random pause of up to a frame of
// the composition, so that arrivals fall on every phase of tembra's frames.
class NotePlayer {
public:
    explicit NotePlayer(jack_client_t* client) : client_(client) {
        out_ = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        in_ = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        latencies_.reserve(2 * (kNotes + kWarmUpNotes));
        rate_ = jack_get_sample_rate(client);
        maxPause_ = rate_ / 60;
        timeout_ = rate_;  // a message not back within a second is lost
        jack_set_process_callback(client, process, this);
    }
    jack_port_t* out() const { return out_; }
    jack_port_t* in() const { return in_; }
    double framesToMilliseconds(double frames) const { return frames * 1000.0 / rate_; }

    // Plays `messages` messages (Note On and Note Off in turn) and returns
    // the latency of each in frames; lost ones are counted in lost().
    std::vector<uint32_t> play(int messages) {
        latencies_.clear();
        lost_.store(0);
        target_.store(messages);
        played_.store(0);
        waitFor([&] { return played_.load() >= messages; }, std::chrono::milliseconds(messages * 1100 + 5000));
        target_.store(0);
        waitFor([&] { return !waiting_.load(); }, std::chrono::seconds(2));
        return latencies_;
    }
    int lost() const { return lost_.load(); }

private:
    static int process(jack_nframes_t nframes, void* arg) {
        static_cast<NotePlayer*>(arg)->cycle(nframes);
        return 0;
    }

    uint8_t status() const { return noteOn_ ? 0x90 : 0x80; }
    uint8_t velocity() const { return noteOn_ ? 100 : 64; }

    void cycle(jack_nframes_t nframes) {
        const jack_nframes_t start = jack_last_frame_time(client_);
        void* outBuffer = jack_port_get_buffer(out_, nframes);
        jack_midi_clear_buffer(outBuffer);
        void* inBuffer = jack_port_get_buffer(in_, nframes);

        if (waiting_.load()) {
            const uint32_t count = jack_midi_get_event_count(inBuffer);
            for (uint32_t i = 0; i < count; ++i) {
                jack_midi_event_t event;
                if (jack_midi_event_get(&event, inBuffer, i) != 0 || event.size != 3) continue;
                if (event.buffer[0] != status() || event.buffer[1] != kNote || event.buffer[2] != velocity()) continue;
                const jack_nframes_t arrived = start + event.time;
                if (latencies_.size() < latencies_.capacity()) latencies_.push_back(arrived - sentAt_);
                finish(arrived);
                break;
            }
            if (waiting_.load() && start - sentAt_ > timeout_) {
                lost_.fetch_add(1);
                finish(start);
            }
        }
        if (!waiting_.load() && played_.load() < target_.load() &&
            static_cast<int32_t>(nextAt_ - (start + nframes)) < 0) {
            const jack_nframes_t offset =
                static_cast<int32_t>(nextAt_ - start) > 0 ? nextAt_ - start : 0;
            const uint8_t message[3] = {status(), kNote, velocity()};
            if (jack_midi_event_write(outBuffer, offset, message, 3) == 0) {
                sentAt_ = start + offset;
                waiting_.store(true);
            }
        }
    }

    void finish(jack_nframes_t now) {
        waiting_.store(false);
        noteOn_ = !noteOn_;
        played_.fetch_add(1);
        random_ = random_ * 1103515245u + 12345u;
        nextAt_ = now + (random_ >> 8) % (maxPause_ + 1);
    }

    jack_client_t* client_;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_nframes_t rate_ = 48000, maxPause_ = 800, timeout_ = 48000;
    std::vector<uint32_t> latencies_;  // filled by the process thread while playing
    std::atomic<int> target_{0}, played_{0}, lost_{0};
    std::atomic<bool> waiting_{false};
    // Process thread only:
    bool noteOn_ = true;
    jack_nframes_t sentAt_ = 0, nextAt_ = 0;
    uint32_t random_ = 12345;
};

std::filesystem::path programFolder() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

void BM_NoteThroughTembraOverJACK(benchmark::State& state) {
    const std::string server = "tembra-bench-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);

    // JACK's defaults but for the driver: no sound card is needed.
    Child jackd({"jackd", "-n", server, "-d", "dummy", "-r", "48000"}, true);
    jack_client_t* client = nullptr;
    waitFor([&] { return (client = jack_client_open("bench-player", JackNoStartServer, nullptr)) != nullptr; },
            std::chrono::seconds(10));
    if (!client) {
        state.SkipWithError("cannot start a JACK server (is jackd installed?)");
        return;
    }
    {
        NotePlayer player(client);
        jack_activate(client);

        const std::filesystem::path composition =
            std::filesystem::temp_directory_path() / ("tembra-bench-" + std::to_string(getpid()) + ".json");
        std::ofstream(composition) << R"({
  "patches": [
    {"id": "keys", "class": "TembraMIDIInputNote", "inputs": {"inputChannel": 1, "inputNote": 60}},
    {"id": "synth", "class": "TembraMIDIOutputNote", "inputs": {"inputChannel": 1, "inputNote": 60}}
  ],
  "connections": [
    {"from": "keys.outputGate", "to": "synth.inputGate"},
    {"from": "keys.outputVelocity", "to": "synth.inputVelocity"}
  ]
})";
        const std::string tembra = (programFolder() / ".." / "bin" / "tembra").string();
        {
            Child run({tembra, "--log", "none", "run", "--realtime", composition.string()}, false);
            // tembra's input listens once it is connected to our output.
            if (!waitFor([&] { return jack_port_connected(player.out()) > 0; }, std::chrono::seconds(10))) {
                state.SkipWithError("tembra did not connect to the player's port");
            } else {
                player.play(2 * kWarmUpNotes);  // the first sends make the connection to our input
                for (auto _ : state) {
                    std::vector<uint32_t> latencies = player.play(2 * kNotes);
                    if (latencies.empty()) {
                        state.SkipWithError("no message came back");
                        break;
                    }
                    std::sort(latencies.begin(), latencies.end());
                    state.counters["median_ms"] = player.framesToMilliseconds(latencies[latencies.size() / 2]);
                    state.counters["worst_ms"] = player.framesToMilliseconds(latencies.back());
                    state.counters["best_ms"] = player.framesToMilliseconds(latencies.front());
                    state.counters["messages"] = static_cast<double>(latencies.size());
                    state.counters["lost"] = player.lost();
                    state.counters["period_ms"] = player.framesToMilliseconds(jack_get_buffer_size(client));
                }
            }
        }
        std::filesystem::remove(composition);
        jack_deactivate(client);
    }
    jack_client_close(client);
}
BENCHMARK(BM_NoteThroughTembraOverJACK)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
