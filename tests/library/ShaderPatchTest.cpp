#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <cmath>
#include <regex>
#include <vector>

#include <sys/stat.h>

namespace {

using Pixel = std::array<int, 4>;

struct Picture {
    unsigned width = 0, height = 0;
    std::vector<uint8_t> rgba;
    // (x, y) from the top left.
    Pixel at(unsigned x, unsigned y) const {
        const size_t i = (static_cast<size_t>(y) * width + x) * 4;
        return {rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
    }
};

Picture readPNG(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    Picture picture;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return picture;
    png.format = PNG_FORMAT_RGBA;
    picture.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, picture.rgba.data(), 0, nullptr)) return {};
    picture.width = png.width;
    picture.height = png.height;
    return picture;
}

void writePNG(const std::string& path, unsigned width, unsigned height, const std::vector<uint8_t>& rgba) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = width;
    png.height = height;
    png.format = PNG_FORMAT_RGBA;
    ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, rgba.data(), 0, nullptr));
}

CommandResult run(const TempDir& dir, const std::string& doc, const std::string& arguments) {
    return runCommand(tembraProgram() + " --log stderr run " + dir.write("doc.json", doc) + " " + arguments);
}

std::string file(const TempDir& dir, const std::string& name) { return (dir.path() / name).string(); }

// The colour a shader writes for v in 0..1, as 8 bits.
int byte(double v) { return static_cast<int>(std::lround(v * 255.0)); }

// Equal but for the rounding of single-precision maths to 8 bits.
::testing::AssertionResult samePixel(const Pixel& actual, const Pixel& expected) {
    for (size_t i = 0; i < 4; ++i)
        if (std::abs(actual[i] - expected[i]) > 1)
            return ::testing::AssertionFailure() << "component " << i << ": " << actual[i] << " instead of " << expected[i];
    return ::testing::AssertionSuccess();
}

TEST(ShaderPatch, EachInputTypeReachesTheShaderAsItsUniform) {
    TempDir dir;
    dir.write("numbers.fs", R"(/*{"INPUTS": [
        {"NAME": "level", "TYPE": "float", "MIN": 0, "MAX": 1, "DEFAULT": 0.5},
        {"NAME": "on", "TYPE": "bool", "DEFAULT": false},
        {"NAME": "mode", "TYPE": "long", "VALUES": [2, 7], "LABELS": ["two", "seven"], "DEFAULT": 2},
        {"NAME": "fire", "TYPE": "event"}]}*/
void main() { gl_FragColor = vec4(level, on ? 1.0 : 0.0, float(mode) / 10.0, fire ? 1.0 : 0.5); }
)");
    dir.write("vectors.fs", R"(/*{"INPUTS": [
        {"NAME": "tint", "TYPE": "color", "DEFAULT": [0.2, 0.4, 0.6, 1.0]},
        {"NAME": "spot", "TYPE": "point2D", "DEFAULT": [0.1, 0.9]}]}*/
void main() { gl_FragColor = vec4(tint.r, tint.b, spot.x, spot.y); }
)");
    dir.write("invert.fs", R"(/*{"INPUTS": [{"NAME": "inputImage", "TYPE": "image"}]}*/
void main() { vec4 c = IMG_THIS_PIXEL(inputImage); gl_FragColor = vec4(vec3(c.a) - c.rgb, c.a); }
)");
    // A 2x2 picture: the filter keeps its size and its rows the right way up.
    writePNG(file(dir, "in.png"), 2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255});
    const auto r = run(dir, R"({"patches": [
        {"id": "n", "class": "Shader", "shader": "numbers.fs",
         "inputs": {"inputWidth": 2, "inputHeight": 2, "level": 0.25, "on": true, "mode": 1, "fire": true}},
        {"id": "v", "class": "Shader", "shader": "vectors.fs",
         "inputs": {"inputWidth": 2, "inputHeight": 2, "tint": [0.2, 0.4, 0.8], "spotY": 0.3}},
        {"id": "f", "class": "ImageFile", "inputs": {"inputPath": "in.png"}},
        {"id": "i", "class": "Shader", "shader": "invert.fs"}],
        "connections": [{"from": "f.outputImage", "to": "i.inputImage"}]})",
                       "--frames 2 --save n.outputImage=" + file(dir, "n-%d.png") + " --save v.outputImage=" +
                           file(dir, "v-%d.png") + " --save i.outputImage=" + file(dir, "i-%d.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const Picture first = readPNG(file(dir, "n-0.png")), second = readPNG(file(dir, "n-1.png"));
    ASSERT_EQ(first.width, 2u);
    // The long's port is an index into VALUES; an event is true in its first frame only.
    EXPECT_TRUE(samePixel(first.at(0, 0), {byte(0.25), 255, byte(0.7), 255}));
    EXPECT_TRUE(samePixel(second.at(1, 1), {byte(0.25), 255, byte(0.7), byte(0.5)}));
    // A colour is one port; a point is a number per component, here from its default.
    EXPECT_TRUE(samePixel(readPNG(file(dir, "v-0.png")).at(1, 0), {byte(0.2), byte(0.8), byte(0.1), byte(0.3)}));
    const Picture inverted = readPNG(file(dir, "i-0.png"));
    ASSERT_EQ(inverted.width, 2u);
    EXPECT_EQ(inverted.at(0, 0), (Pixel{0, 255, 255, 255}));
    EXPECT_EQ(inverted.at(1, 0), (Pixel{255, 0, 255, 255}));
    EXPECT_EQ(inverted.at(0, 1), (Pixel{255, 255, 0, 255}));
    EXPECT_EQ(inverted.at(1, 1), (Pixel{0, 0, 0, 255}));
}

TEST(ShaderPatch, AColourInputTakesArraysHexTheCommandLineAColorPatchAndNumbers) {
    TempDir dir;
    // Left pixel: the colour's red, green and blue; right pixel: its alpha as a grey.
    dir.write("tint.fs", R"(/*{"INPUTS": [{"NAME": "tint", "TYPE": "color", "DEFAULT": [0.1, 0.2, 0.3, 0.4]}]}*/
void main() { gl_FragColor = gl_FragCoord.x < 1.0 ? vec4(tint.rgb, 1.0) : vec4(vec3(tint.a), 1.0); }
)");
    const std::string size = R"("inputWidth": 2, "inputHeight": 1)";
    std::string saves;
    for (const char* id : {"d", "a", "h", "s", "c", "g"})
        saves += std::string(" --save ") + id + ".outputImage=" + file(dir, std::string(id) + "-%d.png");
    const auto r = run(dir, R"({"patches": [
        {"id": "d", "class": "Shader", "shader": "tint.fs", "inputs": {)" + size + R"(}},
        {"id": "a", "class": "Shader", "shader": "tint.fs", "inputs": {)" + size + R"(, "tint": [0.2, 0.4, 0.6, 0.8]}},
        {"id": "h", "class": "Shader", "shader": "tint.fs", "inputs": {)" + size + R"(, "tint": "#FF8000"}},
        {"id": "s", "class": "Shader", "shader": "tint.fs", "inputs": {)" + size + R"(}},
        {"id": "hsb", "class": "Color",
         "inputs": {"inputMode": 1, "inputRed": 0.6666667, "inputGreen": 0.5, "inputBlue": 0.8, "inputAlpha": 0.25}},
        {"id": "c", "class": "Shader", "shader": "tint.fs", "inputs": {)" + size + R"(}},
        {"id": "level", "class": "Expression", "expression": "0.75"},
        {"id": "g", "class": "Shader", "shader": "tint.fs", "inputs": {)" + size + R"(}},
        {"id": "red", "class": "Color", "inputs": {"inputGreen": 0, "inputBlue": 0}},
        {"id": "luma", "class": "Expression", "expression": "x"}],
        "connections": [{"from": "hsb.outputColor", "to": "c.tint"}, {"from": "level.outputResult", "to": "g.tint"},
                        {"from": "red.outputColor", "to": "luma.x"}]})",
                       "--frames 1 --set s.tint=0.5,0.25,1 --watch hsb.outputColor --watch luma.outputResult" + saves);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto expect = [&](const char* id, Pixel rgb, int alpha) {
        const std::string name = std::string(id) + "-0.png";
        const Picture picture = readPNG(file(dir, name));
        ASSERT_EQ(picture.width, 2u) << name;
        EXPECT_TRUE(samePixel(picture.at(0, 0), rgb)) << name;
        EXPECT_TRUE(samePixel(picture.at(1, 0), {alpha, alpha, alpha, 255})) << name;
    };
    expect("d", {byte(0.1), byte(0.2), byte(0.3), 255}, byte(0.4));
    expect("a", {byte(0.2), byte(0.4), byte(0.6), 255}, byte(0.8));
    expect("h", {255, 128, 0, 255}, 255);
    expect("s", {byte(0.5), byte(0.25), 255, 255}, 255);
    // Hue 2/3 is blue; saturation 0.5 at brightness 0.8 lifts red and green to 0.4.
    expect("c", {byte(0.4), byte(0.4), byte(0.8), 255}, byte(0.25));
    expect("g", {byte(0.75), byte(0.75), byte(0.75), 255}, 255);
    EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(hsb\.outputColor = \[0\.4\d*, 0\.4\d*, 0\.8, 0\.25\])")))
        << r.out;
    // A colour into a number is its luminance.
    EXPECT_NE(r.out.find("luma.outputResult = 0.2126"), std::string::npos) << r.out;
}

TEST(ShaderPatch, AColourThatIsNotOneSaysWhatWasExpected) {
    TempDir dir;
    dir.write("tint.fs", R"(/*{"INPUTS": [{"NAME": "tint", "TYPE": "color"}]}*/
void main() { gl_FragColor = tint; }
)");
    const std::string doc = R"({"patches": [{"id": "a", "class": "Shader", "shader": "tint.fs", "inputs": {"tint": )";
    const auto pair = run(dir, doc + R"([1, 2]}}]})", "--frames 1");
    EXPECT_NE(pair.status, 0);
    EXPECT_NE(pair.err.find(R"(patch "a": port tint takes a colour as [r, g, b, a], [r, g, b] or "#rrggbb", not [1,2])"),
              std::string::npos)
        << pair.err;
    const auto hex = run(dir, doc + R"("#ff80"}}]})", "--frames 1");
    EXPECT_NE(hex.status, 0);
    EXPECT_NE(hex.err.find(R"(not "#ff80")"), std::string::npos) << hex.err;
    const auto text = run(dir, doc + R"("#ff8000"}}]})", "--frames 1 --set a.tint=0.1,green");
    EXPECT_NE(text.status, 0);
    EXPECT_NE(text.err.find(R"(port tint takes a colour as r,g,b,a or r,g,b or #rrggbb, not "0.1,green")"),
              std::string::npos)
        << text.err;
}

TEST(ShaderPatch, TwoPassesAverageAcrossThenDownThroughAHalfSizeBuffer) {
    TempDir dir;
    // Pass 0 averages pixel pairs across into a buffer half as wide; pass 1
    // averages that buffer's rows in pairs down, back at full size.
    dir.write("blur.fs", R"(/*{"INPUTS": [{"NAME": "inputImage", "TYPE": "image"}],
        "PASSES": [{"TARGET": "across", "WIDTH": "$WIDTH/2", "HEIGHT": "$HEIGHT"}, {}]}*/
void main() {
    if (PASSINDEX == 0) {
        vec2 p = vec2(floor(gl_FragCoord.x) * 2.0 + 0.5, gl_FragCoord.y);
        gl_FragColor = (IMG_PIXEL(inputImage, p) + IMG_PIXEL(inputImage, p + vec2(1.0, 0.0))) / 2.0;
    } else {
        vec2 p = vec2(floor(gl_FragCoord.x / 2.0) + 0.5, floor(gl_FragCoord.y / 2.0) * 2.0 + 0.5);
        gl_FragColor = (IMG_PIXEL(across, p) + IMG_PIXEL(across, p + vec2(0.0, 1.0))) / 2.0;
    }
}
)");
    // 4x2: grey levels 0, 40, 80, 120 on the top row, 200 on the bottom one.
    std::vector<uint8_t> pixels;
    for (int v : {0, 40, 80, 120, 200, 200, 200, 200}) pixels.insert(pixels.end(), {uint8_t(v), uint8_t(v), uint8_t(v), 255});
    writePNG(file(dir, "in.png"), 4, 2, pixels);
    const auto r = run(dir, R"({"patches": [
        {"id": "f", "class": "ImageFile", "inputs": {"inputPath": "in.png"}},
        {"id": "b", "class": "Shader", "shader": "blur.fs"}],
        "connections": [{"from": "f.outputImage", "to": "b.inputImage"}]})",
                       "--save b.outputImage=" + file(dir, "b-%d.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const Picture blurred = readPNG(file(dir, "b-0.png"));
    ASSERT_EQ(blurred.width, 4u);
    ASSERT_EQ(blurred.height, 2u);
    // Left half: (0+40)/2 = 20 and 200 -> 110; right half: (80+120)/2 = 100 and 200 -> 150.
    for (unsigned y = 0; y < 2; ++y) {
        EXPECT_NEAR(blurred.at(0, y)[0], 110, 1);
        EXPECT_NEAR(blurred.at(1, y)[0], 110, 1);
        EXPECT_NEAR(blurred.at(2, y)[0], 150, 1);
        EXPECT_NEAR(blurred.at(3, y)[0], 150, 1);
    }
}

TEST(ShaderPatch, APersistentBufferAccumulatesAcrossFramesAndAnImportedImageIsRead) {
    TempDir dir;
    writePNG(file(dir, "logo.png"), 1, 1, {10, 20, 30, 255});
    dir.write("grow.fs", R"(/*{"IMPORTED": {"logo": {"PATH": "logo.png"}},
        "PASSES": [{"TARGET": "sum", "PERSISTENT": true, "WIDTH": 1, "HEIGHT": 1}]}*/
void main() {
    vec4 before = IMG_NORM_PIXEL(sum, vec2(0.5));
    gl_FragColor = vec4(before.r + 32.0 / 255.0, IMG_NORM_PIXEL(logo, vec2(0.5)).gb, 1.0);
}
)");
    const auto r = run(dir, R"({"patches": [{"id": "g", "class": "Shader", "shader": "grow.fs"}]})",
                       "--frames 4 --save g.outputImage=" + file(dir, "g-%d.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    for (int frame = 0; frame < 4; ++frame) {
        const Picture p = readPNG(file(dir, "g-" + std::to_string(frame) + ".png"));
        ASSERT_EQ(p.width, 1u) << frame;
        EXPECT_EQ(p.at(0, 0), (Pixel{32 * (frame + 1), 20, 30, 255})) << frame;
    }
}

TEST(ShaderPatch, ACompileErrorNamesTheLineOfTheUsersFileAndTheShowGoesOn) {
    TempDir dir;
    dir.write("glow.fs", "/*{\n  \"INPUTS\": []\n}*/\nvoid main() {\n  gl_FragColor = colr;\n}\n");
    dir.write("broken.fs", "/*{\n  \"INPUTS\": [\n    {\"NAME\": \"x\" \"TYPE\": \"float\"}\n  ]\n}*/\nvoid main() {}\n");
    // A long with no whole number between its MIN and MAX has no choice to make.
    dir.write("choice.fs", "/*{\"INPUTS\": [{\"NAME\": \"m\", \"TYPE\": \"long\", \"MIN\": 0.2, \"MAX\": 0.8}]}*/\n"
                           "void main() {}\n");
    const auto r = run(dir, R"({"patches": [
        {"id": "g", "class": "Shader", "shader": "glow.fs"},
        {"id": "b", "class": "Shader", "shader": "broken.fs"},
        {"id": "c", "class": "Shader", "shader": "choice.fs"},
        {"id": "e", "class": "Expression", "expression": "t"}]})",
                       "--frames 3 --watch e.outputResult");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::regex_search(r.err, std::regex("glow\\.fs:5: .*'colr'"))) << r.err;
    EXPECT_NE(r.err.find("broken.fs:3: the header is not JSON"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("needs VALUES, or a MIN no greater than its MAX"), std::string::npos) << r.err;
    // The rest of the composition runs every frame.
    EXPECT_NE(r.out.find("frame 2 "), std::string::npos) << r.out;
}

TEST(ShaderPatch, TheImagePatchesAtTheirNeutralSettingsGiveThePictureBackTheRightWayUp) {
    TempDir dir;
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 8; ++i) pixels.insert(pixels.end(), {uint8_t(i * 30), uint8_t(240 - i * 30), uint8_t(i % 2 * 200), 255});
    writePNG(file(dir, "in.png"), 4, 2, pixels);
    std::string patches = R"({"id": "f", "class": "ImageFile", "inputs": {"inputPath": "in.png"}})", connections, saves;
    for (const char* patch : {"Blur\", \"inputs\": {\"inputRadius\": 0}", "Transform\"", "ColorControls\"",
                              "Feedback\", \"inputs\": {\"inputDecay\": 0}", "Blend\", \"inputs\": {\"inputOpacity\": 0}"}) {
        const std::string name = std::string(patch).substr(0, std::string(patch).find('"'));
        patches += R"(, {"id": ")" + name + R"(", "class": ")" + patch + "}";
        connections += std::string(connections.empty() ? "" : ", ") + R"({"from": "f.outputImage", "to": ")" + name + R"(.inputImage"})";
        saves += " --save " + name + ".outputImage=" + file(dir, name + "-%d.png");
    }
    const auto r = run(dir, R"({"patches": [)" + patches + R"(], "connections": [)" + connections + "]}", saves);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"Blur", "Transform", "ColorControls", "Feedback", "Blend"}) {
        const Picture out = readPNG(file(dir, std::string(name) + "-0.png"));
        ASSERT_EQ(out.width, 4u) << name;
        for (unsigned i = 0; i < 8; ++i)
            EXPECT_TRUE(samePixel(out.at(i % 4, i / 4), {int(i * 30), int(240 - i * 30), int(i % 2 * 200), 255})) << name << " " << i;
    }
}

// A shader renders at its own size; what is drawn after it still fills the frame.
TEST(ShaderPatch, APictureDrawnAfterAShaderFillsTheFrameWhateverTheShadersSize) {
    TempDir dir;
    std::vector<uint8_t> red;
    for (int i = 0; i < 8; ++i) red.insert(red.end(), {255, 0, 0, 255});
    writePNG(file(dir, "red.png"), 4, 2, red);
    const auto r = run(dir, R"({"renderSize": [64, 32], "patches": [
        {"id": "f", "class": "ImageFile", "inputs": {"inputPath": "red.png"}},
        {"id": "blur", "class": "Blur", "inputs": {"inputRadius": 0}},
        {"id": "show", "class": "Billboard", "inputs": {"inputWidth": 2}}],
        "connections": [{"from": "f.outputImage", "to": "blur.inputImage"}, {"from": "blur.outputImage", "to": "show.inputImage"}]})",
                       "--frames 2 --size 128x64 --render " + file(dir, "frame-%d.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const Picture frame = readPNG(file(dir, "frame-1.png"));
    ASSERT_EQ(frame.width, 128u);
    for (const auto& [x, y] : {std::pair{2u, 2u}, {125u, 2u}, {64u, 32u}, {125u, 61u}})
        EXPECT_TRUE(samePixel(frame.at(x, y), {255, 0, 0, 255})) << x << "," << y;
}

TEST(ShaderPatch, AnImageIsUploadedOnceAndAGPUChainReadsNothingBack) {
    TempDir dir;
    writePNG(file(dir, "in.png"), 4, 4, std::vector<uint8_t>(64, 200));
    const auto r = run(dir, R"({"renderSize": [64, 48], "patches": [
        {"id": "f", "class": "ImageFile", "inputs": {"inputPath": "in.png"}},
        {"id": "c", "class": "ColorControls", "inputs": {"inputSaturation": 0.5}},
        {"id": "m", "class": "ColorMap"},
        {"id": "b", "class": "Billboard"}],
        "connections": [{"from": "f.outputImage", "to": "c.inputImage"}, {"from": "c.outputImage", "to": "m.inputImage"},
                        {"from": "m.outputImage", "to": "b.inputImage"}]})",
                       "--frames 10 --stats");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::regex_search(r.err, std::regex("stats: 10 frames, frame median [0-9.]+ ms, p99 [0-9.]+ ms, "
                                                    "1 uploads, 0 read-backs, 0\\.0 MB moved")))
        << r.err;
}

TEST(ShaderPatch, TheFireColourExampleShowsTheFireInFireColoursUnderTheLogo) {
    TempDir dir;
    const auto r = runCommand(tembraProgram() + " --log stderr run " TEMBRA_SOURCE_DIR "/examples/fire-colour.json"
                              " --frames 90 --render " + file(dir, "f-%02d.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const Picture frame = readPNG(file(dir, "f-89.png"));
    ASSERT_EQ(frame.width, 640u);
    // Flames: red above green above blue, through the fire gradient.
    size_t flames = 0, grey = 0;
    for (unsigned y = 0; y < frame.height; ++y)
        for (unsigned x = 0; x < frame.width; ++x) {
            const Pixel p = frame.at(x, y);
            if (p[0] > 120 && p[1] < p[0] * 0.7 && p[2] < p[1] + 10) ++flames;
            if (p[0] > 40 && std::abs(p[0] - p[1]) < 4 && std::abs(p[1] - p[2]) < 4) ++grey;
        }
    EXPECT_GT(flames, 500u);
    // The logo's ring, screened over the fire at 0.8: white at the top of the ring.
    const Pixel ring = frame.at(320, 80);
    EXPECT_GT(ring[0], 190);
    EXPECT_GT(ring[2], 190);
    EXPECT_GT(grey, 1000u);
    EXPECT_LT(frame.at(320, 240)[0], 40);  // the ring's middle: the black background
}

// Polls `condition` until it holds or `seconds` pass.
bool waitFor(const std::function<bool()>& condition, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// `tembra run --realtime` of doc.json in `dir` for a minute at most, its log
// and output in files; stopped when the object goes.
class Running {
public:
    Running(const TempDir& dir, const std::string& arguments)
        : log_(file(dir, "log.txt")), out_(file(dir, "out.txt")), pid_(file(dir, "pid")) {
        const std::string command = tembraProgram() + " --log stderr run --realtime --fps 30 --duration 60 " +
                                    file(dir, "doc.json") + " " + arguments + " 2>" + log_ + " >" + out_ +
                                    " & echo $! >" + pid_;
        started_ = std::system(command.c_str()) == 0;
    }
    ~Running() { stop(); }
    // Interrupts tembra; true once it has ended.
    bool stop() {
        if (!started_) return false;
        started_ = false;
        const pid_t process = static_cast<pid_t>(std::stol(slurp(pid_)));
        kill(process, SIGINT);
        // Gone, or a zombie that nobody reaps.
        return waitFor([&] {
            const std::string stat = slurp("/proc/" + std::to_string(process) + "/stat");
            return stat.empty() || stat.find(") Z ") != std::string::npos;
        }, 20);
    }
    bool started() const { return started_; }
    std::string log() const { return slurp(log_); }
    std::string out() const { return slurp(out_); }
    bool logHas(const std::string& text, double seconds = 20) const {
        return waitFor([&] { return log().find(text) != std::string::npos; }, seconds);
    }

private:
    std::string log_, out_, pid_;
    bool started_ = false;
};

// The 1x1 colour of the latest whole frame saved as `prefix`-N.png in `dir`.
Pixel latestColour(const TempDir& dir, const std::string& prefix) {
    long latest = -1;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        long index = -1;
        if (std::sscanf(entry.path().filename().c_str(), (prefix + "-%ld.png").c_str(), &index) == 1)
            latest = std::max(latest, index);
    }
    const Picture p = readPNG(file(dir, prefix + "-" + std::to_string(latest - 1) + ".png"));
    return p.width == 1 ? p.at(0, 0) : Pixel{-1, -1, -1, -1};
}

// A shader of one pixel's colour.
std::string liveShader(const std::string& inputs, const std::string& colour) {
    return "/*{\"INPUTS\": [" + inputs + "]}*/\nvoid main() {\n    gl_FragColor = " + colour + ";\n}\n";
}

TEST(ShaderPatch, SavingTheFileRecompilesItKeepingTheLastGoodProgramThroughATypo) {
    TempDir dir;
    const auto shader = liveShader;
    dir.write("live.fs", shader("", "vec4(1.0, 0.0, 0.0, 1.0)"));
    dir.write("doc.json", R"({"patches": [{"id": "s", "class": "Shader", "shader": "live.fs",
        "inputs": {"inputWidth": 1, "inputHeight": 1}}]})");
    Running tembra(dir, "--save s.outputImage=" + file(dir, "now-%d.png"));
    ASSERT_TRUE(tembra.started());
    const auto colour = [&] { return latestColour(dir, "now"); };
    const std::string log = file(dir, "log.txt");
    EXPECT_TRUE(waitFor([&] { return colour() == Pixel{255, 0, 0, 255}; }, 20)) << slurp(log);

    dir.write("live.fs", shader("", "vec4(colr, 1.0)"));
    EXPECT_TRUE(waitFor([&] { return slurp(log).find("live.fs:3: ") != std::string::npos; }, 20)) << slurp(log);
    EXPECT_EQ(colour(), (Pixel{255, 0, 0, 255}));

    // A new input is a new port, set from its default.
    dir.write("live.fs", shader(R"({"NAME": "level", "TYPE": "float", "DEFAULT": 1.0})", "vec4(0.0, level, 0.0, 1.0)"));
    EXPECT_TRUE(waitFor([&] { return colour() == Pixel{0, 255, 0, 255}; }, 20)) << slurp(log);
    EXPECT_NE(slurp(log).find("live.fs recompiled"), std::string::npos);
    EXPECT_TRUE(tembra.stop());
}

TEST(ShaderPatch, PortsFollowTheSavedFileAndAConnectionWaitsForItsInputToComeBack) {
    TempDir dir;
    const std::string level = R"({"NAME": "level", "TYPE": "float", "DEFAULT": 1.0})";
    dir.write("live.fs", liveShader(level, "vec4(0.0, level, 0.0, 1.0)"));
    dir.write("doc.json", R"({"patches": [
        {"id": "e", "class": "Expression", "expression": "0.4"},
        {"id": "s", "class": "Shader", "shader": "live.fs", "inputs": {"inputWidth": 1, "inputHeight": 1}}],
        "connections": [{"from": "e.outputResult", "to": "s.level"}]})");
    const Running tembra(dir, "--save s.outputImage=" + file(dir, "now-%d.png") + " --watch s.level");
    ASSERT_TRUE(tembra.started());
    const auto colour = [&] { return latestColour(dir, "now"); };
    EXPECT_TRUE(waitFor([&] { return colour() == Pixel{0, byte(0.4), 0, 255}; }, 20)) << tembra.log();

    // Saved without the input: its port leaves, the connection waits.
    dir.write("live.fs", liveShader("", "vec4(0.0, 0.0, 1.0, 1.0)"));
    EXPECT_TRUE(tembra.logHas("connection \"e.outputResult\" -> \"s.level\" is inactive: patch \"s\" has no input "
                              "\"level\"")) << tembra.log();
    EXPECT_TRUE(waitFor([&] { return colour() == Pixel{0, 0, 255, 255}; }, 20)) << tembra.log();

    // Back, of the same kind: the connection feeds it again, not its default.
    dir.write("live.fs", liveShader(level, "vec4(level, 0.0, 0.0, 1.0)"));
    EXPECT_TRUE(tembra.logHas("connection \"e.outputResult\" -> \"s.level\" is live again")) << tembra.log();
    EXPECT_TRUE(waitFor([&] { return colour() == Pixel{byte(0.4), 0, 0, 255}; }, 20)) << tembra.log();
    // --watch showed the port, not while it was gone, and again once back.
    const std::string out = tembra.out();
    const std::regex watched("s\\.level = 0\\.4");
    EXPECT_EQ(std::distance(std::sregex_iterator(out.begin(), out.end(), watched), std::sregex_iterator()), 2) << out;
}

TEST(ShaderPatch, AMissingFileIsALogLineUntilItAppearsAndTheVertexShaderIsWatchedToo) {
    TempDir dir;
    ASSERT_EQ(mkfifo(file(dir, "pipe.fs").c_str(), 0600), 0);
    dir.write("doc.json", R"({"patches": [
        {"id": "e", "class": "Expression", "expression": "t"},
        {"id": "s", "class": "Shader", "shader": "later.fs", "inputs": {"inputWidth": 1, "inputHeight": 1}},
        {"id": "p", "class": "Shader", "shader": "pipe.fs"}]})");
    const Running tembra(dir, "--save s.outputImage=" + file(dir, "now-%d.png") + " --watch e.outputResult");
    ASSERT_TRUE(tembra.started());
    EXPECT_TRUE(tembra.logHas("later.fs: no such file")) << tembra.log();
    EXPECT_TRUE(tembra.logHas("pipe.fs: not a regular file")) << tembra.log();
    // Frames go by, with no picture from the missing shader.
    EXPECT_TRUE(waitFor([&] { return tembra.out().find("frame 10 ") != std::string::npos; }, 20)) << tembra.out();
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().rfind("now-", 0), 0u) << entry.path();

    const auto vertex = [](const std::string& shade) {
        return "varying float shade;\nvoid main() {\n    isf_vertShaderInit();\n    shade = " + shade + ";\n}\n";
    };
    dir.write("later.vs", vertex("0.2"));
    dir.write("later.fs", "/*{}*/\nvarying float shade;\nvoid main() { gl_FragColor = vec4(shade, 0.0, 0.0, 1.0); }\n");
    EXPECT_TRUE(waitFor([&] { return latestColour(dir, "now") == Pixel{byte(0.2), 0, 0, 255}; }, 20)) << tembra.log();
    dir.write("later.vs", vertex("0.6"));
    EXPECT_TRUE(waitFor([&] { return latestColour(dir, "now") == Pixel{byte(0.6), 0, 0, 255}; }, 20)) << tembra.log();

    // The path itself must be text.
    const auto r = run(dir, R"({"patches": [{"id": "s", "class": "Shader", "shader": 5}]})", "--frames 1");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("\"shader\" as the path of an .fs file"), std::string::npos) << r.err;
}

TEST(ShaderPatch, ErrorsThroughTheImageMacrosAndOnTheFirstLineAreInTheUsersTerms) {
    TempDir dir;
    dir.write("nope.fs", "/*{\n  \"INPUTS\": [{\"NAME\": \"inputImage\", \"TYPE\": \"image\"}]\n}*/\nvoid main() {\n"
                         "    vec2 uv = isf_FragNormCoord;\n    gl_FragColor = IMG_NORM_PIXEL(nope, uv);\n}\n");
    dir.write("size.fs", "/*{}*/\nvoid main() {\n    gl_FragColor = vec4(IMG_SIZE(nope), 0.0, 1.0);\n}\n");
    dir.write("first.fs", "/*{}*/ void main() { gl_FragColor = colr; }\n");
    dir.write("versioned.fs", "/*{\n}*/\n#version 110\n\nvoid main() {\n    gl_FragColor = colr;\n}\n");
    const auto r = run(dir, R"({"patches": [
        {"id": "n", "class": "Shader", "shader": "nope.fs"}, {"id": "z", "class": "Shader", "shader": "size.fs"},
        {"id": "f", "class": "Shader", "shader": "first.fs"},
        {"id": "v", "class": "Shader", "shader": "versioned.fs"}]})",
                       "--frames 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("nope.fs:6: IMG_NORM_PIXEL: no image named \"nope\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("size.fs:3: IMG_SIZE: no image named \"nope\""), std::string::npos) << r.err;
    EXPECT_TRUE(std::regex_search(r.err, std::regex("first\\.fs:1: .*'colr'"))) << r.err;
    EXPECT_TRUE(std::regex_search(r.err, std::regex("versioned\\.fs:6: .*'colr'"))) << r.err;
}

TEST(ShaderPatch, WhereAShaderDiscardsItsPictureIsClearNotAnEarlierFrame) {
    TempDir dir;
    dir.write("hole.fs", "/*{}*/\nvoid main() {\n    if (FRAMEINDEX > 0 && isf_FragNormCoord.x < 0.5) discard;\n"
                         "    gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0);\n}\n");
    const auto r = run(dir, R"({"patches": [{"id": "h", "class": "Shader", "shader": "hole.fs",
        "inputs": {"inputWidth": 2, "inputHeight": 1}}]})",
                       "--frames 6 --save h.outputImage=" + file(dir, "hole-%d.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    for (int frame = 0; frame < 6; ++frame) {
        const Picture p = readPNG(file(dir, "hole-" + std::to_string(frame) + ".png"));
        ASSERT_EQ(p.width, 2u) << frame;
        EXPECT_EQ(p.at(0, 0), (frame == 0 ? Pixel{255, 0, 0, 255} : Pixel{0, 0, 0, 0})) << frame;
        EXPECT_EQ(p.at(1, 0), (Pixel{255, 0, 0, 255})) << frame;
    }
}

}  // namespace
