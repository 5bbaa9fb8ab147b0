// Media in: a 1080p H.264 clip decoded and presented a frame at a time
// beside FFmpeg's own decode of it (CPU time per frame, this process and
// ffmpeg's); pictures shown when the clip plays on the wall clock at its
// own rate; AudioAnalysis's cost per 1024-frame JACK period; the latency
// from a click into JACK to the onset it gives.

#include "platform/audio/AudioAnalyzer.h"
#include "platform/audio/JACKCapture.h"
#include "platform/media/MovieDecoder.h"

#include <benchmark/benchmark.h>
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClipFrames = 90;  // 3 s at 30 fps

std::filesystem::path folder() {
    static const auto dir = std::filesystem::temp_directory_path() / ("tembra-bench-media-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

double childCPUSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + 1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

int shell(const std::string& command) { return std::system(command.c_str()); }

const std::string& clip() {
    static const std::string path = [] {
        const std::string p = (folder() / "clip1080.mp4").string();
        shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 -t 3 -c:v libx264 -preset fast "
              "-pix_fmt yuv420p " + p);
        return p;
    }();
    return path;
}

void BM_MovieFrame1080p(benchmark::State& state) {
    const std::string movie = clip();
    long frames = 0;
    for (auto _ : state) {
        MovieDecoder decoder(movie, {});
        for (int f = 0; f < kClipFrames; ++f) {
            CGImageRef picture = decoder.pictureAt(f / 30.0, true);
            benchmark::DoNotOptimize(picture);
            if (!picture) state.SkipWithError("a picture was not decoded");
        }
        frames += kClipFrames;
    }
    // With MeasureProcessCPUTime the time shown is this process's CPU time
    // (decoder threads included) per iteration of 90 frames.
    state.counters["frames"] = double(frames);
}

// FFmpeg's own decode, as the CPU time of the ffmpeg program per frame:
// to nothing, and converted to RGBA as the patch does.
void BM_FFmpegDecode1080p(benchmark::State& state) {
    const std::string movie = clip();
    const bool rgba = state.range(0) != 0;
    double cpu = 0;
    long frames = 0;
    for (auto _ : state) {
        const double before = childCPUSeconds();
        shell("ffmpeg -v error -nostdin -threads 0 -i " + movie + (rgba ? " -pix_fmt rgba" : "") + " -f null -");
        cpu += childCPUSeconds() - before;
        frames += kClipFrames;
    }
    state.counters["ffmpeg_cpu_ms_per_frame"] = 1000 * cpu / double(frames);
    state.SetLabel(rgba ? "ffmpeg -pix_fmt rgba -f null" : "ffmpeg -f null");
}

// The clip played on the wall clock by `tembra run --realtime` at 30 fps
// for 100 frames (the movie starts once its first picture is ready):
// distinct pictures shown against the clip's 90.
void BM_RealtimePicturesShown(benchmark::State& state) {
    const std::string movie = clip();
    const auto program = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" / "tembra";
    const std::string doc = (folder() / "movie.json").string();
    std::ofstream(doc) << R"({"patches": [{"id": "m", "class": "MovieFile", "inputs": {"inputPath": ")" << movie
                       << R"(", "inputLoop": false}}]})";
    long shown = 0;
    for (auto _ : state) {
        const std::string out = (folder() / "watch.txt").string();
        shell(program.string() + " --log none run " + doc + " --realtime --fps 30 --frames " + std::to_string(kClipFrames + 10) +
              " --audio none --watch m.outputImage > " + out);
        std::ifstream in(out);
        shown = 0;
        for (std::string line; std::getline(in, line);) shown += line.find("= image 1920x1080") != std::string::npos;
    }
    state.counters["pictures_shown"] = double(shown);
    state.counters["clip_pictures"] = kClipFrames;
}

// One JACK period of 1024 frames into the analysis, and the measurement a frame makes.
void BM_AnalysisPerPeriod(benchmark::State& state) {
    AudioAnalyzer analyzer(48000);
    analyzer.setBandCount(64);
    std::vector<float> period(2048);
    size_t n = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < 1024; ++i, ++n)
            period[2 * i] = period[2 * i + 1] = 0.3f * float(std::sin(2 * std::numbers::pi * 440.0 * double(n) / 48000));
        analyzer.push(period.data(), 1024);
        analyzer.analyze();
        benchmark::DoNotOptimize(analyzer.bands().data());
    }
    state.counters["period_ms"] = 1024.0 / 48.0;
}

// A JACK client playing a click every 300 ms; the time each click went out.
class Clicker {
public:
    explicit Clicker(jack_client_t* client) : client_(client) {
        port_ = jack_port_register(client, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client, &Clicker::process, this);
    }
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Clicker*>(arg);
        auto* out = static_cast<float*>(jack_port_get_buffer(self->port_, frames));
        std::fill(out, out + frames, 0.0f);
        const jack_nframes_t every = jack_get_sample_rate(self->client_) * 3 / 10;
        for (jack_nframes_t i = 0; i < frames; ++i, ++self->frame_)
            if (self->frame_ % every < 64) {
                out[i] = (self->frame_ % 2) ? 0.8f : -0.8f;
                if (self->frame_ % every == 0)
                    self->sentAt_.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
            }
        return 0;
    }
    std::atomic<int64_t> sentAt_{0};

private:
    jack_client_t* client_;
    jack_port_t* port_ = nullptr;
    uint64_t frame_ = 0;
};

void quiet(const char*) {}

void BM_OnsetLatencyOverJACK(benchmark::State& state) {
    const std::string server = "tembra-bench-media-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    pid_t jackd = -1;
    const char* argv[] = {"jackd", "--no-realtime", "-n", server.c_str(), "-d", "dummy", "-r", "48000", "-p", "1024", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnp(&jackd, "jackd", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    jack_client_t* client = nullptr;
    for (auto until = Clock::now() + std::chrono::seconds(10); !client && Clock::now() < until;) {
        client = jack_client_open("bench-clicker", JackNoStartServer, nullptr);
        if (!client) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::vector<double> latencies;
    if (client) {
        Clicker clicker(client);
        jack_activate(client);
        std::string error;
        auto capture = JACKCapture::open("^bench-clicker:out$", &error);
        if (capture) {
            capture->connectNewPorts();
            AudioAnalyzer analyzer(capture->sampleRate());
            std::vector<float> samples;
            for (auto _ : state) {
                latencies.clear();
                uint64_t seen = analyzer.onsetCount();
                // What a frame loop at 1 kHz would see: read, measure, look.
                for (auto until = Clock::now() + std::chrono::seconds(6); Clock::now() < until;) {
                    samples.clear();
                    capture->read(samples);
                    analyzer.push(samples.data(), samples.size() / 2);
                    if (analyzer.onsetCount() != seen) {
                        seen = analyzer.onsetCount();
                        const int64_t sent = clicker.sentAt_.load(std::memory_order_acquire);
                        latencies.push_back(1e-6 * double(Clock::now().time_since_epoch().count() - sent));
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
        } else {
            state.SkipWithError(error.c_str());
        }
        jack_client_close(client);
    } else {
        state.SkipWithError("cannot start a JACK server (is jackd installed?)");
    }
    if (jackd > 0) {
        kill(jackd, SIGTERM);
        int status = 0;
        waitpid(jackd, &status, 0);
    }
    if (!latencies.empty()) {
        // The first onset is the capture's start; the rest are clicks.
        std::sort(latencies.begin(), latencies.end());
        state.counters["onsets"] = double(latencies.size());
        state.counters["latency_median_ms"] = latencies[latencies.size() / 2];
        state.counters["latency_worst_ms"] = latencies.back();
    }
}

}  // namespace

BENCHMARK(BM_MovieFrame1080p)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(3);
BENCHMARK(BM_FFmpegDecode1080p)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RealtimePicturesShown)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AnalysisPerPeriod)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OnsetLatencyOverJACK)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
