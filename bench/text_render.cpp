// Drawing text with Pango and Cairo into a host image: a title line, a
// wrapped paragraph, and the error line play draws over a 1080p picture.
// The Text patch and the error line pay this once per change, not per frame.

#include "platform/text/TextRenderer.h"

#include <benchmark/benchmark.h>

namespace {

void render(benchmark::State& state, const std::string& text, const TextStyle& style) {
    std::string error;
    for (auto _ : state) {
        CGImageRef image = TextRenderer::render(text, style, &error);
        if (!image) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(image);
    }
}

void BM_TitleLine48px(benchmark::State& state) {
    TextStyle style;
    style.font = "DejaVu Sans Bold 48";
    render(state, "Tembra live visuals", style);
}
BENCHMARK(BM_TitleLine48px)->Unit(benchmark::kMillisecond);

void BM_WrappedParagraph20px(benchmark::State& state) {
    TextStyle style;
    style.font = "DejaVu Sans 20";
    style.wrapWidth = 600;
    style.alignment = TextAlignment::Center;
    std::string text;
    for (int i = 0; i < 40; ++i) text += "a paragraph that wraps across several lines ";
    render(state, text, style);
}
BENCHMARK(BM_WrappedParagraph20px)->Unit(benchmark::kMillisecond);

void BM_ErrorLineAcross1080p(benchmark::State& state) {
    TextStyle style;
    style.font = "DejaVu Sans Bold 36";
    style.backgroundAlpha = 0.8;
    style.padding = 12;
    style.wrapWidth = 1920 - 24;
    style.singleLine = true;
    render(state, "glow.fs:14: 'colr' undeclared identifier; the last good program keeps running", style);
}
BENCHMARK(BM_ErrorLineAcross1080p)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
