// One step of the fire model (reaction through to the three images), beside
// two floors measured in the same run, each a streaming pass over twelve
// arrays of the grid's size plus two random numbers per cell:
//   old floor: the numbers from rand(), which takes a lock per call;
//   new floor: the numbers from the fire's own generator, drawn in bulk.
// Step and floors are timed alternately, so all see the same machine load,
// in wall time, since the step shares its work with a worker thread. On a
// shared machine wall time also counts the time the threads wait for a core,
// so the CPU time of the step is given too: over both threads, and on the
// calling thread alone (what the step would take with a core to each
// thread, when the worker carries the rest).

#include "patches/fire/FireRandom.h"
#include "patches/fire/TembraFire.h"
#include "platform/graphics/PageAlignedBuffer.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <ctime>

namespace {

double wallSeconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

double cpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class Floor {
public:
    explicit Floor(size_t cells) : cells_(cells) {
        for (PageAlignedBuffer& array : arrays_) array = PageAlignedBuffer(cells * 4);  // zeroed, so touched
    }

    uint32_t withRand() {
        uint32_t sum = 0;
        for (size_t i = 0; i < cells_; ++i) {
            sum += static_cast<uint32_t>(std::rand());
            sum += static_cast<uint32_t>(std::rand());
            sum += sumOfCell(i);
        }
        return sum;
    }

    uint32_t withFireRandom() {
        uint32_t sum = 0;
        size_t cell = 0;
        random_.draw(2 * cells_, [&](const uint32_t* numbers, size_t n) {
            for (size_t k = 0; k < n; ++k) sum += numbers[k];
            for (const size_t end = cell + n / 2; cell < end; ++cell) sum += sumOfCell(cell);
        });
        return sum;
    }

private:
    uint32_t sumOfCell(size_t i) const {
        uint32_t sum = 0;
        for (const PageAlignedBuffer& array : arrays_) sum += reinterpret_cast<const uint32_t*>(array.data())[i];
        return sum;
    }

    size_t cells_;
    std::array<PageAlignedBuffer, 12> arrays_;
    FireRandom random_;
};

void BM_FireStep(benchmark::State& state) {
    const auto W = static_cast<uint32_t>(state.range(0)), H = static_cast<uint32_t>(state.range(1));
    const double cells = static_cast<double>(W) * H;
    TembraFire fire("fire");
    fire.inputPixelsWide.setIndexValue(W);
    fire.inputPixelsHigh.setIndexValue(H);
    Floor floor(static_cast<size_t>(cells));
    // The first step builds the grid at this size; the next ones bring the
    // picture memory that later steps reuse. Steps are timed from then on.
    for (int warmUp = 0; warmUp < 3; ++warmUp) fire.execute(nullptr, 0.0, nullptr);

    double stepTime = 0, stepCPU = 0, stepThreadCPU = 0, oldFloorTime = 0, newFloorTime = 0, newFloorCPU = 0;
    for (auto _ : state) {
        const double c0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID), m0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const double t0 = wallSeconds();
        fire.execute(nullptr, 0.0, nullptr);
        const double t1 = wallSeconds();
        const double c1 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID), m1 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        benchmark::DoNotOptimize(floor.withRand());
        const double t2 = wallSeconds(), f2 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        benchmark::DoNotOptimize(floor.withFireRandom());
        const double t3 = wallSeconds(), f3 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        stepTime += t1 - t0;
        stepCPU += c1 - c0;
        stepThreadCPU += m1 - m0;
        oldFloorTime += t2 - t1;
        newFloorTime += t3 - t2;
        newFloorCPU += f3 - f2;
        state.SetIterationTime(t1 - t0);
    }
    const double steps = static_cast<double>(state.iterations()), n = steps * cells;
    state.counters["steps_per_s"] = steps / stepTime;
    state.counters["step_ns_per_cell"] = stepTime / n * 1e9;
    state.counters["step_cpu_ns_per_cell"] = stepCPU / n * 1e9;
    state.counters["step_caller_cpu_ns_per_cell"] = stepThreadCPU / n * 1e9;
    state.counters["old_floor_ns_per_cell"] = oldFloorTime / n * 1e9;
    state.counters["new_floor_ns_per_cell"] = newFloorTime / n * 1e9;
    state.counters["step_over_old_floor"] = stepTime / oldFloorTime;
    state.counters["step_over_new_floor"] = stepTime / newFloorTime;
    state.counters["new_floor_cpu_ns_per_cell"] = newFloorCPU / n * 1e9;
    state.counters["caller_cpu_over_new_floor_cpu"] = stepThreadCPU / newFloorCPU;
}

}  // namespace

BENCHMARK(BM_FireStep)->Args({320, 240})->Iterations(1000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FireStep)->Args({640, 480})->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FireStep)->Args({1280, 720})->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FireStep)->Args({1920, 1080})->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FireStep)->Args({4096, 4096})->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
