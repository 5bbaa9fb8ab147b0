// The cost of one frame shown in a window (draw + swap) beside the same
// frame drawn off screen without read-back, and beside what `run --render`
// does with it (draw + read-back + PNG file). Needs a display: under
// `xvfb-run -s "-screen 0 1920x1080x24"` it measures Mesa's software
// renderer and the X server's copy of the picture.

#include "platform/display/Window.h"
#include "platform/foundation/NSLog.h"
#include "tools/tembra/Bundle.h"
#include "tools/tembra/OffscreenSurface.h"
#include "tools/tembra/PNGFrameSink.h"
#include "tools/tembra/Session.h"
#include "tools/tembra/WindowFrames.h"

#include <benchmark/benchmark.h>
#include <GL/gl.h>

#include <filesystem>
#include <unistd.h>

namespace {

enum class Output { Window, Offscreen, RenderPNG };

struct Example {
    const char* name;
    const char* file;
    const char* show;
};

const std::string outputFolder =
    (std::filesystem::temp_directory_path() / ("tembra-bench-play-" + std::to_string(getpid()))).string();

void frames(benchmark::State& state, Example example, Output output, int width, int height) {
    RunOptions options;
    options.file = std::string(TEMBRA_SOURCE_DIR) + "/examples/" + example.file;
    options.show = example.show;
    std::unique_ptr<Window> window;
    auto session = std::make_unique<Session>(options);
    std::string error;
    if (output == Output::Window) {
        window = Window::open(Window::Settings{width, height, example.name, false}, &error);
        if (!window) return state.SkipWithError(("no window: " + error).c_str());
        session->setSurface(std::make_unique<WindowSurface>(*window));
        session->addSink(std::make_unique<WindowSink>(*window));
    } else {
        auto surface = OffscreenSurface::create(width, height, &error);
        if (!surface) return state.SkipWithError(error.c_str());
        session->setSurface(std::move(surface));
        if (output == Output::RenderPNG)
            session->addSink(std::make_unique<PNGFrameSink>(outputFolder + "/frame-%d.png", "--render"));
    }
    session->start();
    long index = 0;
    for (auto _ : state) {
        const double time = static_cast<double>(index) / 60.0;
        // One file, written again each time: the disk does not fill up.
        session->frame(output == Output::RenderPNG ? 0 : index, time, time);
        if (output == Output::Offscreen) {
            // The drawing done, as the swap and the read-back wait for it.
            CGLContextScope current(session->surface()->context());
            glFinish();
        }
        ++index;
    }
    session->finish(static_cast<double>(index) / 60.0);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    NSLogSetDestination(LogDestination::None);
    loadBundles({}, QCNodeManager::shared());
    const Example examples[] = {{"gltest", "gltest.json", ""}, {"fire", "fire.json", "fire.outputImageVisible"}};
    const std::pair<Output, const char*> outputs[] = {
        {Output::Window, "show"}, {Output::Offscreen, "draw_offscreen"}, {Output::RenderPNG, "render_png"}};
    const std::pair<int, int> sizes[] = {{640, 480}, {1920, 1080}};
    for (const Example& example : examples)
        for (const auto& [width, height] : sizes)
            for (const auto& [output, name] : outputs)
                benchmark::RegisterBenchmark(
                    (std::string(example.name) + "/" + name + "/" + std::to_string(width) + "x" + std::to_string(height))
                        .c_str(),
                    [=](benchmark::State& state) { frames(state, example, output, width, height); })
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->MinTime(1.0);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(outputFolder, ignored);
    return 0;
}
