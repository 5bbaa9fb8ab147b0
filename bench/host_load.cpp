// Loading big compositions: parse, build and run one frame of N trivial
// patches in a chain, read N scripted MIDI events, and the frame after the
// k-th save of a composition played with reloads.

#include "host/CompositionDocument.h"
#include "host/Evaluator.h"
#include "host/QCPatchClass.h"
#include "platform/foundation/NSLog.h"
#include "platform/midi/VirtualMIDI.h"
#include "tools/tembra/Bundle.h"
#include "tools/tembra/ScriptedMIDI.h"
#include "tools/tembra/Session.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

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

// 3,000 patches: a chain of 2,900 steps and 100 controller inputs listening
// to every source, with a scripted source kept across saves and one whose
// name each save changes.
std::string reloadedComposition(int save) {
    std::string text = chainComposition(2900);
    text.erase(text.rfind(']'));  // reopened below: the patches list ends before the connections
    const size_t patchesEnd = text.find("],\n\"connections\"");
    std::string inputs;
    for (int i = 0; i < 100; ++i) inputs += ",\n  {\"id\": \"cc" + std::to_string(i) + "\", \"class\": \"TembraMIDIInputCC\"}";
    text.insert(patchesEnd, inputs);
    return text + "],\n\"midiSources\": [{\"name\": \"Keys\", \"events\": [{\"time\": 0, \"bytes\": [176, 7, 1]}]}, " +
           "{\"name\": \"Extra " + std::to_string(save) + "\"}]}\n";
}

// The reload after `saves - 1` earlier ones and the frame after it: as long
// after the twentieth save as after the first.
void BM_FrameAfterReload(benchmark::State& state) {
    static const bool loaded = [] {
        QCNodeManager::shared().registerNodeWithClass(patchClass<Step>());
        loadBundles({}, QCNodeManager::shared());
        return true;
    }();
    benchmark::DoNotOptimize(loaded);
    NSLogSetDestination(LogDestination::None);
    const auto folder = std::filesystem::temp_directory_path() / ("tembra-bench-reload-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    RunOptions options;
    options.file = (folder / "doc.json").string();
    const auto save = [&](int number) { std::ofstream(options.file) << reloadedComposition(number); };
    const int saves = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        save(0);
        auto session = std::make_unique<Session>(options);
        session->start();
        long index = 0;
        const auto nextFrame = [&] {
            session->frame(index, static_cast<double>(index) / 60, static_cast<double>(index) / 60);
            ++index;
        };
        nextFrame();
        for (int number = 1; number < saves; ++number) {
            save(number);
            if (!session->reload(nullptr)) return state.SkipWithError("reload failed");
            nextFrame();
        }
        save(saves);
        state.ResumeTiming();
        if (!session->reload(nullptr)) return state.SkipWithError("reload failed");
        nextFrame();
        state.PauseTiming();
        session.reset();
        VirtualMIDI::reset();
        state.ResumeTiming();
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_FrameAfterReload)->Arg(1)->Arg(20)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
