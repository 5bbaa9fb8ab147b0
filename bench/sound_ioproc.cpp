// appIOProc: the cost of one output frame, on device cycles of 64 to 4096
// frames over a sound image of three minutes (31 thousand rows).
#include "patches/sound/Sinewave.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/TestAudioDevice.h"
#include "platform/foundation/NSLog.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace {

void BM_appIOProc(benchmark::State& state) {
    NSLogSetDestination(LogDestination::None);
    const auto frames = static_cast<uint32_t>(state.range(0));
    auto device = TestAudioDevice::create();
    device->setBufferSize(frames * 8);
    AudioHardware::shared().setDefaultOutputDevice(AudioHardware::shared().addDevice(device));

    const int width = 512, height = 31008;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    Sinewave osc;
    osc.setBitmapData(pixels.data(), static_cast<int32_t>(pixels.size()));
    osc.setBytesPerRow(width * 4);
    osc.setSamplesPerPixel(4);
    osc.setWidth(width);
    osc.setHeight(height);
    std::FILE* quiet = std::freopen("/dev/null", "w", stderr);  // the setup's device line
    osc.setup();
    if (quiet == nullptr) state.SkipWithError("cannot silence stderr");

    std::vector<float> out(size_t{frames} * 2);
    AudioBufferList list;
    list.mNumberBuffers = 1;
    list.mBuffers[0] = AudioBuffer{2, frames * 8, out.data()};
    AudioTimeStamp now;
    for (auto _ : state) {
        appIOProc(device->deviceID(), &now, nullptr, &now, &list, &now, &osc);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * frames);
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsIterationInvariantRate |
                                                             benchmark::Counter::kInvert);
}
BENCHMARK(BM_appIOProc)->Arg(64)->Arg(256)->Arg(512)->Arg(4096);

}  // namespace

BENCHMARK_MAIN();
