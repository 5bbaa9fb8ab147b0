#include "host/QCRenderer.h"
#include "host/PlugInBundle.h"
#include "platform/graphics/PNGFile.h"
#include "tests/platform/gl/GLTestSupport.h"
#include "tests/support/TestSupport.h"

#include <GL/gl.h>

#include <cmath>
#include <vector>

namespace {

std::string whitePNG(const TempDir& dir) {
    CGContextRef bitmap = CGBitmapContextCreate(nullptr, 2, 2, 8, 8, CGColorSpaceCreateDeviceRGB(),
                                                kCGImageAlphaPremultipliedLast);
    std::fill_n(bitmap->data, 16, 255);
    const std::string path = (dir.path() / "white.png").string();
    std::string error;
    EXPECT_TRUE(CGImageWriteToPNGFile(*CGBitmapContextCreateImage(bitmap.get()), path, &error)) << error;
    return path;
}

class QCRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QCNodeManager::shared().classNamed("Billboard"))
            PlugInBundle::load(libraryBundlePath(), QCNodeManager::shared());
    }
    TempDir dir;
};

}  // namespace

TEST_F(QCRendererTest, ClearsBothBuffersThenDrawsConsumersInTheHostProjection) {
    TEMBRA_REQUIRE_GL();
    whitePNG(dir);
    // A white square 0.5 wide centred at (0.5, 0.25), in a picture twice as
    // wide as high (y from -0.5 to 0.5); the path is relative to the file.
    const std::string file = dir.write("billboard.json", R"({
        "patches": [
            {"id": "image", "class": "ImageFile", "inputs": {"inputPath": "white.png"}},
            {"id": "show", "class": "Billboard", "inputs": {"inputX": 0.5, "inputY": 0.25, "inputWidth": 0.5}}
        ],
        "connections": [{"from": "image.outputImage", "to": "show.inputImage"}]
    })");
    GLTarget target(64, 32);
    ASSERT_TRUE(target.context);
    auto renderer = QCRenderer::initWithOpenGLContext(target.context.get(), target.format.get(), file);
    ASSERT_TRUE(renderer);
    {
        // Leave something in both buffers that the host must clear away.
        CGLContextScope on(target.context->CGLContextObj());
        glClearColor(1, 0, 0, 1);
        glClearDepth(0.25);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    ASSERT_TRUE(renderer->renderAtTime(0.0, nullptr));
    const auto pixels = target.read();
    const auto at = [&](double x, double y) { return pixelAtHostPoint(pixels, 64, 32, x, y); };
    const RGBA white{255, 255, 255, 255}, clear{0, 0, 0, 0};
    EXPECT_EQ(at(0.5, 0.25), white);
    EXPECT_EQ(at(0.3, 0.05), white);
    EXPECT_EQ(at(0.5, -0.25), clear);
    EXPECT_EQ(at(-0.5, 0.25), clear);
    EXPECT_EQ(at(0.9, 0.45), clear);
    CGLContextScope on(target.context->CGLContextObj());
    float depth = 0;
    glReadPixels(0, 0, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_FLOAT_EQ(depth, 1.0f);
    // Drawing the image left the context's unpacking settings alone.
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4);
}

TEST_F(QCRendererTest, LeavesTheThreadsCurrentContextAsItFoundIt) {
    TEMBRA_REQUIRE_GL();
    const std::string file = dir.write("clear.json", R"({"patches": [{"id": "c", "class": "Clear"}]})");
    GLTarget target(8, 8), other(8, 8);
    ASSERT_TRUE(target.context && other.context);
    auto renderer = QCRenderer::initWithOpenGLContext(target.context.get(), target.format.get(), file);
    ASSERT_TRUE(renderer);
    ASSERT_EQ(CGLGetCurrentContext(), nullptr);
    EXPECT_TRUE(renderer->renderAtTime(0.0, nullptr));
    EXPECT_EQ(CGLGetCurrentContext(), nullptr);

    CGLSetCurrentContext(other.context->CGLContextObj());
    EXPECT_TRUE(renderer->renderAtTime(1.0, nullptr));
    EXPECT_EQ(CGLGetCurrentContext(), other.context->CGLContextObj());
    renderer.reset();
    EXPECT_EQ(CGLGetCurrentContext(), other.context->CGLContextObj());
    CGLSetCurrentContext(nullptr);
}

TEST_F(QCRendererTest, RefusesFilesItCannotLoadAndTimesItCannotRender) {
    TEMBRA_REQUIRE_GL();
    GLTarget target(8, 8);
    ASSERT_TRUE(target.context);
    const auto load = [&](const std::string& path) {
        return QCRenderer::initWithOpenGLContext(target.context.get(), target.format.get(), path);
    };
    EXPECT_FALSE(load(""));
    EXPECT_FALSE(load((dir.path() / "missing.json").string()));
    EXPECT_FALSE(load(dir.write("broken.json", R"({"patches": [ {"id": "c", "class": )")));
    EXPECT_FALSE(load(dir.write("unknown.json", R"({"patches": [{"id": "c", "class": "NoSuchPatch"}]})")));

    const std::string file = dir.write("clear.json", R"({"patches": [{"id": "c", "class": "Clear"}]})");
    {
        // A file already being rendered on this thread cannot be loaded again.
        QCRenderer::FileScope rendering(file);
        EXPECT_FALSE(load(file));
        EXPECT_EQ(QCRenderer::resolvePath("other.json"), (std::filesystem::weakly_canonical(dir.path()) / "other.json").string());
    }
    EXPECT_EQ(QCRenderer::resolvePath("other.json"), "other.json");

    auto renderer = load(file);
    ASSERT_TRUE(renderer);
    EXPECT_FALSE(renderer->renderAtTime(std::nan(""), nullptr));
    EXPECT_TRUE(renderer->renderAtTime(0.5, nullptr));
}
