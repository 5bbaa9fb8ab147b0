// A chain of image patches on the GPU, ImageFile -> ColorControls -> Blur ->
// Blend -> Billboard, per frame, beside a bare OpenGL program running the
// same passes on the same picture (its textures made once and reused); and
// the 1080p fire -> ColorMap -> Billboard beside the fire -> Billboard alone
// (one upload per step either way). Counters give the frame rate and the
// uploads and read-backs the host counted. Off screen at the picture's size,
// or, when DISPLAY is set, in one 1920x1080 window.

// Before any header brings in gl.h: the entry points past OpenGL 1.3.
#define GL_GLEXT_PROTOTYPES
#include "platform/display/Window.h"
#include "platform/foundation/NSLog.h"
#include "platform/gl/GLShareGroup.h"
#include "platform/graphics/PNGFile.h"
#include "tools/tembra/Bundle.h"
#include "tools/tembra/OffscreenSurface.h"
#include "tools/tembra/Session.h"
#include "tools/tembra/WindowFrames.h"

#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

const std::filesystem::path folder =
    std::filesystem::temp_directory_path() / ("tembra-bench-image-chain-" + std::to_string(getpid()));

// A picture with some detail: colour ramps and a grid.
std::string writePicture(int width, int height) {
    const std::string path = (folder / ("picture-" + std::to_string(width) + ".png")).string();
    if (std::filesystem::exists(path)) return path;
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    PageAlignedBuffer pixels(rowBytes * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = pixels.data() + static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x) * 4;
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = ((x / 32 + y / 32) % 2) ? 200 : 40;
            p[3] = 255;
        }
    const CGImageRef image = CGImageCreate(static_cast<size_t>(width), static_cast<size_t>(height), 8, rowBytes,
                                           CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast,
                                           std::move(pixels));
    std::string error;
    if (!CGImageWriteToPNGFile(*image, path, &error)) std::fprintf(stderr, "%s\n", error.c_str());
    return path;
}

std::string writeDocument(const std::string& name, const std::string& text) {
    const std::string path = (folder / name).string();
    std::ofstream(path) << text;
    return path;
}

struct Target {
    Window* window = nullptr;
    std::unique_ptr<Session> session;
};

// One window for the whole run, at the larger size: closing a window ends
// SDL's EGL display, and with it the share group of the process.
Window* sharedWindow(std::string* error) {
    static std::unique_ptr<Window> window = Window::open(Window::Settings{1920, 1080, "image_chain", false}, error);
    return window.get();
}

bool open(benchmark::State& state, const std::string& file, int width, int height, Target* target) {
    RunOptions options;
    options.file = file;
    target->session = std::make_unique<Session>(options);
    std::string error;
    if (Window::displayNamed()) {
        target->window = sharedWindow(&error);
        if (!target->window) {
            state.SkipWithError(("no window: " + error).c_str());
            return false;
        }
        target->session->setSurface(std::make_unique<WindowSurface>(*target->window));
        target->session->addSink(std::make_unique<WindowSink>(*target->window));
    } else {
        auto surface = OffscreenSurface::create(width, height, &error);
        if (!surface) {
            state.SkipWithError(error.c_str());
            return false;
        }
        target->session->setSurface(std::move(surface));
    }
    return true;
}

void runFrames(benchmark::State& state, Target& target) {
    const auto before = GLShareGroup::transfers();
    target.session->start();
    long index = 0;
    for (auto _ : state) {
        const double time = static_cast<double>(index++) / 60.0;
        target.session->frame(index, time, time);
        CGLContextScope current(target.session->surface()->context());
        glFinish();
    }
    target.session->finish(static_cast<double>(index) / 60.0);
    const auto after = GLShareGroup::transfers();
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["uploads"] = static_cast<double>(after.uploads - before.uploads);
    state.counters["readbacks_per_frame"] =
        static_cast<double>(after.readBacks - before.readBacks) / static_cast<double>(std::max<long>(index, 1));
}

void BM_Chain(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const std::string picture = writePicture(width, height);
    const std::string file = writeDocument("chain.json", R"({"renderSize": [)" + std::to_string(width) + ", " +
                                                             std::to_string(height) + R"(], "patches": [
        {"id": "f", "class": "ImageFile", "inputs": {"inputPath": ")" + picture + R"("}},
        {"id": "c", "class": "ColorControls", "inputs": {"inputSaturation": 1.5, "inputContrast": 1.2}},
        {"id": "b", "class": "Blur", "inputs": {"inputRadius": 4}},
        {"id": "m", "class": "Blend", "inputs": {"inputMode": 3, "inputOpacity": 0.5}},
        {"id": "show", "class": "Billboard", "inputs": {"inputWidth": 2}}],
        "connections": [{"from": "f.outputImage", "to": "c.inputImage"}, {"from": "c.outputImage", "to": "b.inputImage"},
                        {"from": "b.outputImage", "to": "m.inputImage"}, {"from": "f.outputImage", "to": "m.inputTopImage"},
                        {"from": "m.outputImage", "to": "show.inputImage"}]})");
    Target target;
    if (open(state, file, width, height, &target)) runFrames(state, target);
}

void BM_Fire(benchmark::State& state, bool colourMap) {
    const std::string file = writeDocument(colourMap ? "fire-map.json" : "fire.json", std::string(R"({"renderSize": [1920, 1080], "patches": [
        {"id": "fire", "class": "TembraFire", "inputs": {"inputPixelsWide": 1920, "inputPixelsHigh": 1080}},)") +
        (colourMap ? R"({"id": "map", "class": "ColorMap"},)" : "") + R"(
        {"id": "show", "class": "Billboard", "inputs": {"inputWidth": 2}}],
        "connections": [)" + (colourMap ? R"({"from": "fire.outputImageVisible", "to": "map.inputImage"},
        {"from": "map.outputImage", "to": "show.inputImage"})" : R"({"from": "fire.outputImageVisible", "to": "show.inputImage"})") + "]}");
    Target target;
    if (open(state, file, 1920, 1080, &target)) runFrames(state, target);
}

// The same passes as the library's shaders, written straight in GLSL.
const char* kVertex = "#version 120\nvarying vec2 uv;\nvoid main() { gl_Position = vec4(gl_Vertex.xy, 0.0, 1.0); uv = gl_Vertex.xy * 0.5 + 0.5; }\n";
const char* kControls = R"(#version 120
uniform sampler2D image; varying vec2 uv;
void main() {
    vec4 p = texture2D(image, vec2(uv.x, 1.0 - uv.y));
    vec3 c = p.a > 0.0 ? p.rgb / p.a : vec3(0.0);
    vec3 k = vec3(0.57735);
    c = c * cos(0.0) + cross(k, c) * sin(0.0) + k * dot(k, c) * (1.0 - cos(0.0));
    float grey = dot(c, vec3(0.299, 0.587, 0.114));
    c = mix(vec3(grey), c, 1.5);
    c = (c - 0.5) * 1.2 + 0.5;
    gl_FragColor = vec4(clamp(c, 0.0, 1.0) * p.a, p.a);
})";
const char* kBlur = R"(#version 120
uniform sampler2D image; uniform vec2 size; uniform vec2 direction; uniform float radius; varying vec2 uv;
void main() {
    int r = int(radius);
    vec4 sum = vec4(0.0);
    for (int i = 0; i <= 64; ++i) {
        if (i > 2 * r) break;
        sum += texture2D(image, (gl_FragCoord.xy + direction * float(i - r)) / size);
    }
    gl_FragColor = sum / float(2 * r + 1);
})";
const char* kBlend = R"(#version 120
uniform sampler2D image; uniform sampler2D top; varying vec2 uv;
vec3 straight(vec4 c) { return c.a > 0.0 ? c.rgb / c.a : vec3(0.0); }
void main() {
    vec4 base = texture2D(image, uv);
    vec4 t4 = texture2D(top, vec2(uv.x, 1.0 - uv.y)) * 0.5;
    vec3 b = straight(base), t = straight(t4);
    vec3 mixed = mix(t, 1.0 - (1.0 - b) * (1.0 - t), base.a);
    gl_FragColor = vec4(mixed * t4.a + base.rgb * (1.0 - t4.a), t4.a + base.a * (1.0 - t4.a));
})";

GLuint program(const char* fragment) {
    const auto shader = [](GLenum type, const char* text) {
        const GLuint s = glCreateShader(type);
        glShaderSource(s, 1, &text, nullptr);
        glCompileShader(s);
        return s;
    };
    const GLuint p = glCreateProgram();
    glAttachShader(p, shader(GL_VERTEX_SHADER, kVertex));
    glAttachShader(p, shader(GL_FRAGMENT_SHADER, fragment));
    glLinkProgram(p);
    return p;
}

GLuint texture(int width, int height, const void* pixels) {
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return t;
}

void quad() {
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
}

void BM_BareOpenGL(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    std::string error;
    const CGImageRef picture = CGImageCreateWithPNGFile(writePicture(width, height), &error);
    Target target;
    // The same window or off-screen buffer as the chain; no session runs in it.
    if (!open(state, writeDocument("empty.json", R"({"patches": []})"), width, height, &target)) return;
    CGLContextScope current(target.session->surface()->context());
    const GLuint source = texture(width, height, picture->pixels.data());
    const GLuint controls = program(kControls), blur = program(kBlur), blend = program(kBlend);
    GLuint passes[3] = {texture(width, height, nullptr), texture(width, height, nullptr), texture(width, height, nullptr)};
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    const auto pass = [&](GLuint prog, GLuint input, GLuint output) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, output, 0);
        glUseProgram(prog);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, input);
        glUniform1i(glGetUniformLocation(prog, "image"), 0);
        glUniform2f(glGetUniformLocation(prog, "size"), static_cast<float>(width), static_cast<float>(height));
        quad();
    };
    glViewport(0, 0, width, height);
    for (auto _ : state) {
        pass(controls, source, passes[0]);
        glUseProgram(blur);
        glUniform2f(glGetUniformLocation(blur, "direction"), 1, 0);
        glUniform1f(glGetUniformLocation(blur, "radius"), 4);
        pass(blur, passes[0], passes[1]);
        glUseProgram(blur);
        glUniform2f(glGetUniformLocation(blur, "direction"), 0, 1);
        glUniform1f(glGetUniformLocation(blur, "radius"), 4);
        pass(blur, passes[1], passes[2]);
        glUseProgram(blend);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, source);
        glUniform1i(glGetUniformLocation(blend, "top"), 1);
        pass(blend, passes[2], passes[0]);
        // To the window or buffer, as Billboard draws it.
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glUseProgram(0);
        glActiveTexture(GL_TEXTURE0);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, passes[0]);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0); glVertex2f(-1, -1);
        glTexCoord2f(1, 0); glVertex2f(1, -1);
        glTexCoord2f(1, 1); glVertex2f(1, 1);
        glTexCoord2f(0, 1); glVertex2f(-1, 1);
        glEnd();
        glDisable(GL_TEXTURE_2D);
        if (target.window) target.window->present();
        glFinish();
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_Chain)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareOpenGL)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Fire, fire_colormap_1080p, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Fire, fire_alone_1080p, false)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    NSLogSetDestination(LogDestination::None);
    std::filesystem::create_directories(folder);
    loadBundles({}, QCNodeManager::shared());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    return 0;
}
