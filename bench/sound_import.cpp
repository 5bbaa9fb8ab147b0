// Import and rendering of a three-minute 44.1 kHz stereo file by
// TembraImageWithSoundFile, beside the ffmpeg tool decoding the same file to
// float stereo, measured in the same run. The files are made at start.

#include "host/QCGLCGImage.h"
#include "patches/sound/TembraImageWithSoundFile.h"
#include "platform/foundation/NSLog.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <utility>

namespace {

constexpr int kSeconds = 180;
constexpr int kRate = 44100;

bool run(const std::string& command) {
    if (std::system(command.c_str()) == 0) return true;
    std::cerr << "failed: " << command << "\n";
    return false;
}

double childrenCPUSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void importAndRender(benchmark::State& state, const std::string& path) {
    TembraImageWithSoundFile patch("bench");
    patch.setup(nullptr);
    for (auto _ : state) {
        patch.inputSoundFilePath.setStringValue(newString(path));
        patch.execute(nullptr, 0, nullptr);
        benchmark::DoNotOptimize(patch.outputImage.imageValue());
    }
    // Lossy files may differ from the full length by a packet.
    const double expected = 2.0 * kSeconds * kRate;
    if (!patch.outputImage.imageValue() || std::abs(patch.outputBlah.indexValue() - expected) > 0.01 * expected)
        state.SkipWithError("the file did not import whole");
}

void ffmpegTool(benchmark::State& state, const std::string& path) {
    const std::string command = "ffmpeg -v quiet -nostdin -i '" + path + "' -f f32le -ac 2 - > /dev/null";
    const double before = childrenCPUSeconds();
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("ffmpeg failed");
    // The tool's own processor time, to set beside ours when the machine is
    // busy and wall-clock times spread.
    state.counters["tool_cpu_ms"] = 1000 * (childrenCPUSeconds() - before) / static_cast<double>(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
    NSLogSetDestination(LogDestination::None);
    const auto dir = std::filesystem::temp_directory_path() / ("tembra-bench-sound-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string wav = (dir / "tone.wav").string(), mp3 = (dir / "tone.mp3").string();
    const bool made = run("sox -n -r " + std::to_string(kRate) + " -c 2 -b 16 '" + wav + "' synth " +
                          std::to_string(kSeconds) + " sine 440 sine 660 gain -3") &&
                      run("ffmpeg -v error -nostdin -y -i '" + wav + "' -c:a libmp3lame -b:a 192k '" + mp3 + "'");
    if (made) {
        for (const auto& [label, path] : {std::pair{"wav", wav}, std::pair{"mp3", mp3}}) {
            benchmark::RegisterBenchmark((std::string("ImportAndRender/") + label).c_str(), importAndRender, path)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((std::string("FFmpegTool/") + label).c_str(), ffmpegTool, path)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    std::filesystem::remove_all(dir);
    return made ? 0 : 1;
}
