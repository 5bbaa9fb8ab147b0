// The cost of a recorded frame: an H.264 MP4 through the recorder beside the
// PNG file --render writes, at 640x480 and 1920x1080. Each iteration is a
// batch of frames, opening and finishing included; per_frame is wall time.

#include "platform/media/VideoFileWriter.h"
#include "tools/tembra/PNGSequenceWriter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr int kFrames = 30;

// Something like a rendered frame: a gradient with a shape that moves.
std::vector<uint8_t> picture(int width, int height, int frame) {
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    const int cx = width / 4 + frame * width / 120, cy = height / 2, r = height / 4;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
            const bool inside = (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r;
            p[0] = inside ? 230 : static_cast<uint8_t>(255 * x / width);
            p[1] = inside ? 120 : static_cast<uint8_t>(255 * y / height);
            p[2] = inside ? 20 : 160;
            p[3] = 255;
        }
    return rgba;
}

struct Folder {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("tembra-bench-record-" + std::to_string(getpid()));
    Folder() { std::filesystem::create_directories(path); }
    ~Folder() { std::filesystem::remove_all(path); }
};

std::vector<std::vector<uint8_t>> frames(int width, int height) {
    std::vector<std::vector<uint8_t>> all;
    for (int f = 0; f < kFrames; ++f) all.push_back(picture(width, height, f));
    return all;
}

void perFrame(benchmark::State& state) {
    state.counters["per_frame"] = benchmark::Counter(
        kFrames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RecordMP4(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const Folder folder;
    const auto pictures = frames(width, height);
    const std::string path = (folder.path / "clip.mp4").string();
    for (auto _ : state) {
        std::string error;
        auto writer = VideoFileWriter::open({path, width, height, 30, 0}, &error);
        if (!writer) return state.SkipWithError(error.c_str());
        for (int f = 0; f < kFrames; ++f)
            if (!writer->writeVideo(f, {pictures[f].data(), width, height}, &error))
                return state.SkipWithError(error.c_str());
        if (!writer->finish(&error)) return state.SkipWithError(error.c_str());
    }
    perFrame(state);
}

void RenderPNG(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const Folder folder;
    const auto pictures = frames(width, height);
    PNGSequenceWriter writer((folder.path / "frame-%04d.png").string(), "--render");
    for (auto _ : state)
        for (int f = 0; f < kFrames; ++f) writer.write(f, width, height, pictures[f]);
    perFrame(state);
}

}  // namespace

BENCHMARK(RecordMP4)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(RenderPNG)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
