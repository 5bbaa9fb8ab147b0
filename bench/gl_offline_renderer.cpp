// The cost of an off-screen composition frame (render, read back, turn
// upright, wrap as an image) beside a bare read-back of the same size from
// the same context.

#include "library/TembraLibraryLoader.h"
#include "patches/gl/OfflineRenderer.h"

#include <benchmark/benchmark.h>
#include <GL/gl.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

// A composition that only clears, in a file removed at exit.
struct ClearComposition {
    std::filesystem::path file = std::filesystem::temp_directory_path() /
                                 ("tembra-bench-clear-" + std::to_string(getpid()) + ".json");
    ClearComposition() {
        std::ofstream(file) << R"({"patches": [{"id": "clear", "class": "Clear", "inputs": {"inputRed": 0.5}}]})";
    }
    ~ClearComposition() { std::filesystem::remove(file); }
};

std::string clearComposition() {
    static const ClearComposition composition;
    TembraLibraryLoader::registerNodesWithManager(QCNodeManager::shared());
    return composition.file.string();
}

// One renderer per size, shared by both benchmarks so they use one context;
// released before the program exits, while OpenGL is still there.
std::map<std::pair<uint32_t, uint32_t>, std::unique_ptr<OfflineRenderer>> renderers;

OfflineRenderer* rendererOfSize(uint32_t width, uint32_t height) {
    auto& renderer = renderers[{width, height}];
    if (!renderer) renderer = OfflineRenderer::initWithCompositionPath(clearComposition(), width, height);
    return renderer.get();
}

void BM_QCGLCGImageForTime(benchmark::State& state) {
    const auto width = static_cast<uint32_t>(state.range(0)), height = static_cast<uint32_t>(state.range(1));
    OfflineRenderer* renderer = rendererOfSize(width, height);
    if (!renderer) return state.SkipWithError("no OpenGL renderer");
    double time = 0.0;
    for (auto _ : state) {
        ImageRef image = renderer->QCGLCGImageForTime(time);
        benchmark::DoNotOptimize(image);
        time += 1.0 / 60.0;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * width * height * 4);
}

// Reads the renderer's picture back from its own context, after clearing it
// first when `clearFirst`.
void readBack(benchmark::State& state, bool clearFirst) {
    const auto width = static_cast<GLsizei>(state.range(0)), height = static_cast<GLsizei>(state.range(1));
    OfflineRenderer* renderer = rendererOfSize(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    if (!renderer) return state.SkipWithError("no OpenGL renderer");
    PageAlignedBuffer pixels(size_t{renderer->scratchBufferRowBytes()} * static_cast<size_t>(height));
    CGLContextScope on(renderer->context());
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(renderer->scratchBufferRowBytes() / 4));
    for (auto _ : state) {
        if (clearFirst) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * width * height * 4);
}

void BM_BareReadPixels(benchmark::State& state) { readBack(state, false); }

// What the renderer cannot avoid on a software rasteriser: the clear itself,
// then the read-back that waits for it.
void BM_ClearThenReadPixels(benchmark::State& state) { readBack(state, true); }

}  // namespace

BENCHMARK(BM_QCGLCGImageForTime)->Args({256, 256})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareReadPixels)->Args({256, 256})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClearThenReadPixels)->Args({256, 256})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    renderers.clear();
    return 0;
}
