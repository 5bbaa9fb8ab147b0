// One frame of 10,000 Expression patches in a chain (each "a * 0.5 + 1" of
// the one before), per patch, beside a plain loop evaluating the same
// muparser formulas: what the evaluator and the ports add to the formula.

#include "host/CompositionDocument.h"
#include "host/Evaluator.h"
#include "library/TembraLibraryLoader.h"

#include <benchmark/benchmark.h>
#include <muParser.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr long kPatches = 10000;
constexpr const char* kFormula = "a * 0.5 + 1";

std::string chainComposition() {
    std::string text = "{\"patches\": [\n";
    for (long i = 0; i < kPatches; ++i)
        text += "  {\"id\": \"p" + std::to_string(i) + "\", \"class\": \"Expression\", \"expression\": \"" + kFormula +
                "\"}" + (i + 1 < kPatches ? ",\n" : "\n");
    text += "],\n\"connections\": [\n";
    for (long i = 1; i < kPatches; ++i)
        text += "  {\"from\": \"p" + std::to_string(i - 1) + ".outputResult\", \"to\": \"p" + std::to_string(i) +
                ".a\"}" + (i + 1 < kPatches ? ",\n" : "\n");
    return text + "]}\n";
}

void BM_ExpressionChainFrame(benchmark::State& state) {
    QCNodeManager manager;
    TembraLibraryLoader::registerNodesWithManager(manager);
    Evaluator evaluator(CompositionDocument::parse(chainComposition(), "chain.json"), manager);
    evaluator.start();
    double time = 0;
    for (auto _ : state) {
        evaluator.executeFrame(time);
        time += 1.0 / 60;
    }
    evaluator.stop();
    state.SetItemsProcessed(state.iterations() * kPatches);
}
BENCHMARK(BM_ExpressionChainFrame)->Unit(benchmark::kMillisecond);

void BM_PlainMuparserChain(benchmark::State& state) {
    struct Formula {
        mu::Parser parser;
        double a = 0, t = 0;
    };
    std::vector<std::unique_ptr<Formula>> formulas;
    for (long i = 0; i < kPatches; ++i) {
        auto& f = *formulas.emplace_back(std::make_unique<Formula>());
        f.parser.DefineVar("a", &f.a);
        f.parser.DefineVar("t", &f.t);
        f.parser.SetExpr(kFormula);
    }
    double time = 0;
    for (auto _ : state) {
        double value = 0;
        for (auto& f : formulas) {
            f->a = value;
            f->t = time;
            value = f->parser.Eval();
        }
        benchmark::DoNotOptimize(value);
        time += 1.0 / 60;
    }
    state.SetItemsProcessed(state.iterations() * kPatches);
}
BENCHMARK(BM_PlainMuparserChain)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
