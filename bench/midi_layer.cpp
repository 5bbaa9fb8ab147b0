// The MIDI layer itself: building a packet list, a virtual packet's trip
// from inject to read callback, and enumerating sources.

#include "platform/midi/CoreMIDI.h"
#include "platform/midi/VirtualMIDI.h"

#include <benchmark/benchmark.h>

#include <array>
#include <atomic>

namespace {

void BM_PacketListBuildOneMessage(benchmark::State& state) {
    std::array<Byte, 1024> buffer{};
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer.data());
    const Byte message[3] = {0xB0, 1, 64};
    for (auto _ : state) {
        MIDIPacket* packet = MIDIPacketListInit(list);
        benchmark::DoNotOptimize(MIDIPacketListAdd(list, buffer.size(), packet, 0, 3, message));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PacketListBuildOneMessage);

std::atomic<uint64_t> delivered{0};
void countingReadProc(const MIDIPacketList* list, void*, void*) { delivered += list->numPackets; }

// Inject and wait for delivery: the latency of the receive thread.
void BM_VirtualInjectToReadCallback(benchmark::State& state) {
    VirtualMIDI::reset();
    const MIDIEndpointRef source = VirtualMIDI::createSource(0, "bench");
    MIDIClientRef client = 0;
    MIDIClientCreate("bench", nullptr, nullptr, &client);
    MIDIPortRef port = 0;
    MIDIInputPortCreate(client, "in", countingReadProc, nullptr, &port);
    MIDIPortConnectSource(port, source, nullptr);
    for (auto _ : state) {
        VirtualMIDI::inject(source, {0xB0, 1, 64});
        VirtualMIDI::flush();
    }
    if (delivered.load() != static_cast<uint64_t>(state.iterations())) state.SkipWithError("packets lost");
    MIDIClientDispose(client);
    VirtualMIDI::reset();
    delivered = 0;
}
BENCHMARK(BM_VirtualInjectToReadCallback)->Unit(benchmark::kMicrosecond);

void BM_EnumerateAndNameSources(benchmark::State& state) {
    VirtualMIDI::reset();
    for (int i = 0; i < state.range(0); ++i) VirtualMIDI::createSource(0, "source " + std::to_string(i));
    VirtualMIDI::flush();
    for (auto _ : state) {
        for (ItemCount i = 0; i < MIDIGetNumberOfSources(); ++i) {
            std::optional<std::string> name;
            MIDIObjectGetStringProperty(MIDIGetSource(i), kMIDIPropertyName, &name);
            benchmark::DoNotOptimize(name);
        }
    }
    VirtualMIDI::reset();
}
BENCHMARK(BM_EnumerateAndNameSources)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
