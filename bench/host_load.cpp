// Loading big compositions: parse, build and run one frame of N trivial
// patches in a chain, and read N scripted MIDI events.

#include "host/CompositionDocument.h"
#include "host/Evaluator.h"
#include "host/QCPatchClass.h"
#include "platform/midi/VirtualMIDI.h"
#include "tools/tembra/ScriptedMIDI.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

struct Step : QCPatch {
    static constexpr const char* className = "Step";
    static int executionMode() { return 3; }
    using QCPatch::QCPatch;
    QCNumberPort inputNumber{this, "inputNumber"};
    QCNumberPort outputNumber{this, "outputNumber"};
    bool execute(QCOpenGLContext*, double, const QCArguments*) override {
        outputNumber.setDoubleValue(inputNumber.doubleValue() + 1);
        return true;
    }
};

// A chain p0 -> p1 -> ... listed last patch first, one patch and one
// connection a line, so that the order of running is the reverse of the
// document's.
std::string chainComposition(long count) {
    std::string text = "{\"patches\": [\n";
    for (long i = count - 1; i >= 0; --i)
        text += "  {\"id\": \"p" + std::to_string(i) + "\", \"class\": \"Step\", \"inputs\": {\"inputNumber\": 0}}" +
                (i > 0 ? ",\n" : "\n");
    text += "],\n\"connections\": [\n";
    for (long i = 1; i < count; ++i)
        text += "  {\"from\": \"p" + std::to_string(i - 1) + ".outputNumber\", \"to\": \"p" + std::to_string(i) +
                ".inputNumber\"}" + (i + 1 < count ? ",\n" : "\n");
    return text + "]}\n";
}

void BM_LoadAndRunOneFrame(benchmark::State& state) {
    QCNodeManager manager;
    manager.registerNodeWithClass(patchClass<Step>());
    const std::string text = chainComposition(state.range(0));
    for (auto _ : state) {
        Evaluator evaluator(CompositionDocument::parse(text, "chain.json"), manager);
        evaluator.start();
        evaluator.executeFrame(0);
        benchmark::DoNotOptimize(evaluator.nodes().back().patch.get());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LoadAndRunOneFrame)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

std::string scriptedComposition(long count) {
    std::string text = "{\"patches\": [],\n\"midiSources\": [{\"name\": \"Keys\", \"events\": [\n";
    for (long i = 0; i < count; ++i)
        text += "  {\"time\": " + std::to_string(static_cast<double>(count - i) / 100) + ", \"bytes\": [176, 7, " +
                std::to_string(i % 128) + "]}" + (i + 1 < count ? ",\n" : "\n");
    return text + "]}]}\n";
}

void BM_LoadScriptedEvents(benchmark::State& state) {
    const std::string text = scriptedComposition(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        VirtualMIDI::reset();
        state.ResumeTiming();
        const CompositionDocument document = CompositionDocument::parse(text, "events.json");
        ScriptedMIDI scripted(document, false);
        benchmark::DoNotOptimize(scripted.events().size());
    }
}
BENCHMARK(BM_LoadScriptedEvents)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
