// The controller read callback, per packet, and the endpoint scan that a
// pattern change makes over 100 sources.
#include "patches/midi/TembraMIDIInputCC.h"
#include "patches/midi/TembraMIDIPatch.h"
#include "patches/regex/CSRegexStringOperations.h"
#include "platform/foundation/NSLog.h"
#include "platform/midi/VirtualMIDI.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

void BM_InputCCReadProc(benchmark::State& state) {
    const auto packets = static_cast<int>(state.range(0));
    std::vector<Byte> memory(16 * 1024);
    auto* list = reinterpret_cast<MIDIPacketList*>(memory.data());
    MIDIPacket* packet = MIDIPacketListInit(list);
    for (int i = 0; i < packets; ++i) {
        const Byte message[3] = {static_cast<Byte>(0xB0 | (i % 16)), static_cast<Byte>(i % 128), 64};
        packet = MIDIPacketListAdd(list, memory.size(), packet, 0, 3, message);
    }
    for (auto _ : state) {
        TembraMIDIInputCCReadProc(list, nullptr, nullptr);
        benchmark::ClobberMemory();
    }
    state.counters["per_packet"] = benchmark::Counter(
        static_cast<double>(packets), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_InputCCReadProc)->Arg(1)->Arg(16)->Arg(256);

// 100 virtual sources on ten devices: "Box 3 Port 7" and so on.
void makeSources() {
    VirtualMIDI::reset();
    for (int d = 0; d < 10; ++d) {
        const MIDIEntityRef entity =
            VirtualMIDI::createEntity(VirtualMIDI::createDevice("Box " + std::to_string(d)), "Main");
        for (int p = 0; p < 10; ++p) VirtualMIDI::createSource(entity, "Port " + std::to_string(p));
    }
    VirtualMIDI::flush();
}

// Naming and matching every source, as a pattern change does.
void BM_EndpointScan(benchmark::State& state, const std::string& pattern) {
    makeSources();
    for (auto _ : state) {
        int matched = 0;
        for (ItemCount i = 0; i < MIDIGetNumberOfSources(); ++i) {
            const StringRef name = TembraMIDIPatch::endpointName(MIDIGetSource(i));
            matched += matchedByPattern(*name, pattern);
        }
        benchmark::DoNotOptimize(matched);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 100);
}
BENCHMARK_CAPTURE(BM_EndpointScan, all, std::string(".*"));
BENCHMARK_CAPTURE(BM_EndpointScan, selective, std::string("^Box 3 Port [0-4]$"));

// The whole evaluation after a pattern change: new port, scan, connections.
void BM_InputCCRescan(benchmark::State& state, const std::string& pattern) {
    NSLogSetDestination(LogDestination::None);
    makeSources();
    TembraMIDIInputCC patch("bench");
    patch.setup(nullptr);
    for (auto _ : state) {
        patch.inputPortName.setStringValue(newString(pattern));
        patch.execute(nullptr, 0.0, nullptr);
    }
}
BENCHMARK_CAPTURE(BM_InputCCRescan, all, std::string(".*"));
BENCHMARK_CAPTURE(BM_InputCCRescan, selective, std::string("^Box 3 Port [0-4]$"));

}  // namespace

BENCHMARK_MAIN();
