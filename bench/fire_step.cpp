// One step of the fire model (reaction through to the three images), in
// nanoseconds per cell, beside the floor measured in the same run: the two
// rand() calls every cell must make, plus one streaming pass over twelve
// arrays of the grid's size. The two are timed alternately, so both see the
// same machine load, and in thread CPU time (user and system), since the
// machine may be shared. Alongside, the cost of making the three images alone
// (the part of the step spent in bufferToQCGLCGImage).

#include "patches/fire/TembraFire.h"
#include "platform/graphics/PageAlignedBuffer.h"

#include <benchmark/benchmark.h>

#include <array>
#include <ctime>
#include <cstdlib>

namespace {

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class Floor {
public:
    explicit Floor(size_t cells) : cells_(cells) {
        for (PageAlignedBuffer& array : arrays_) array = PageAlignedBuffer(cells * 4);  // zeroed, so touched
    }

    uint32_t run() {
        std::array<const uint32_t*, 12> words;
        for (size_t a = 0; a < 12; ++a) words[a] = reinterpret_cast<const uint32_t*>(arrays_[a].data());
        uint32_t sum = 0;
        for (size_t i = 0; i < cells_; ++i) {
            sum += static_cast<uint32_t>(std::rand());
            sum += static_cast<uint32_t>(std::rand());
            for (const uint32_t* array : words) sum += array[i];
        }
        return sum;
    }

private:
    size_t cells_;
    std::array<PageAlignedBuffer, 12> arrays_;
};

void BM_FireStep(benchmark::State& state) {
    const auto W = static_cast<uint32_t>(state.range(0)), H = static_cast<uint32_t>(state.range(1));
    const double cells = static_cast<double>(W) * H;
    TembraFire fire("fire");
    fire.inputPixelsWide.setIndexValue(W);
    fire.inputPixelsHigh.setIndexValue(H);
    fire.execute(nullptr, 0.0, nullptr);  // builds the grid at this size
    Floor floor(static_cast<size_t>(cells));

    FireGrid& grid = *fire.fireGrid();
    double stepTime = 0, floorTime = 0, imageTime = 0;
    for (auto _ : state) {
        const double t0 = cpuSeconds();
        fire.execute(nullptr, 0.0, nullptr);
        const double t1 = cpuSeconds();
        benchmark::DoNotOptimize(floor.run());
        const double t2 = cpuSeconds();
        for (uint8_t* buffer : {grid.bufHeat, grid.bufOxygen, grid.bufVisible})
            benchmark::DoNotOptimize(fire.bufferToQCGLCGImage(buffer));
        const double t3 = cpuSeconds();
        stepTime += t1 - t0;
        floorTime += t2 - t1;
        imageTime += t3 - t2;
        state.SetIterationTime(t1 - t0);
    }
    const double n = static_cast<double>(state.iterations()) * cells;
    state.counters["step_ns_per_cell"] = stepTime / n * 1e9;
    state.counters["floor_ns_per_cell"] = floorTime / n * 1e9;
    state.counters["step_over_floor"] = stepTime / floorTime;
    state.counters["images_ns_per_cell"] = imageTime / n * 1e9;
}

}  // namespace

BENCHMARK(BM_FireStep)->Args({320, 240})->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FireStep)->Args({1920, 1080})->Iterations(8)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FireStep)->Args({4096, 4096})->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
