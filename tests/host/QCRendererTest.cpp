#include "host/QCRenderer.h"
#include "host/builtins/HostBuiltins.h"
#include "platform/graphics/PNGFile.h"
#include "tests/platform/gl/GLTestSupport.h"
#include "tests/support/TestSupport.h"

#include <GL/gl.h>

#include <cmath>
#include <vector>

namespace {

const NSOpenGLPixelFormatAttribute kAttributes[] = {NSOpenGLPFAPixelBuffer, NSOpenGLPFADepthSize, 24, 0};

// An off-screen target and what a renderer drew into it.
class Target {
public:
    Target(int width, int height) : width_(width), height_(height) {
        format_ = NSOpenGLPixelFormat::initWithAttributes(kAttributes);
        buffer_ = NSOpenGLPixelBuffer::initWithTextureTarget(GL_TEXTURE_2D, GL_RGBA, 0, width, height);
        context_ = NSOpenGLContext::initWithFormat(format_.get(), nullptr);
        if (buffer_ && context_) context_->setPixelBuffer(buffer_.get(), 0, 0, 0);
    }
    ~Target() {
        if (context_) context_->clearDrawable();
    }
    NSOpenGLContext* context() { return context_.get(); }
    const NSOpenGLPixelFormat* format() { return format_.get(); }

    void read() {
        pixels_.assign(static_cast<size_t>(width_) * height_ * 4, 0);
        CGLContextScope on(context_->CGLContextObj());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    }
    // The pixel under the host's point (x, y): x from -1 to 1 across the
    // width, y from -h/w to h/w.
    std::vector<int> at(double x, double y) const {
        const double aspect = static_cast<double>(height_) / width_;
        const int px = static_cast<int>(std::floor((x + 1.0) / 2.0 * width_));
        const int py = static_cast<int>(std::floor((y + aspect) / (2.0 * aspect) * height_));
        const uint8_t* p = &pixels_[(static_cast<size_t>(py) * width_ + px) * 4];
        return {p[0], p[1], p[2], p[3]};
    }

private:
    int width_, height_;
    std::unique_ptr<NSOpenGLPixelFormat> format_;
    std::unique_ptr<NSOpenGLPixelBuffer> buffer_;
    std::unique_ptr<NSOpenGLContext> context_;
    std::vector<uint8_t> pixels_;
};

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
    void SetUp() override { registerHostBuiltins(QCNodeManager::shared()); }
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
    Target target(64, 32);
    ASSERT_TRUE(target.context());
    auto renderer = QCRenderer::initWithOpenGLContext(target.context(), target.format(), file);
    ASSERT_TRUE(renderer);
    {
        // Leave something in both buffers that the host must clear away.
        CGLContextScope on(target.context()->CGLContextObj());
        glClearColor(1, 0, 0, 1);
        glClearDepth(0.25);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    ASSERT_TRUE(renderer->renderAtTime(0.0, nullptr));
    target.read();
    EXPECT_EQ(target.at(0.5, 0.25), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(target.at(0.3, 0.05), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(target.at(0.5, -0.25), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(target.at(-0.5, 0.25), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(target.at(0.9, 0.45), (std::vector<int>{0, 0, 0, 0}));
    CGLContextScope on(target.context()->CGLContextObj());
    float depth = 0;
    glReadPixels(0, 0, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_FLOAT_EQ(depth, 1.0f);
}

TEST_F(QCRendererTest, LeavesTheThreadsCurrentContextAsItFoundIt) {
    TEMBRA_REQUIRE_GL();
    const std::string file = dir.write("clear.json", R"({"patches": [{"id": "c", "class": "Clear"}]})");
    Target target(8, 8), other(8, 8);
    ASSERT_TRUE(target.context() && other.context());
    auto renderer = QCRenderer::initWithOpenGLContext(target.context(), target.format(), file);
    ASSERT_TRUE(renderer);
    ASSERT_EQ(CGLGetCurrentContext(), nullptr);
    EXPECT_TRUE(renderer->renderAtTime(0.0, nullptr));
    EXPECT_EQ(CGLGetCurrentContext(), nullptr);

    CGLSetCurrentContext(other.context()->CGLContextObj());
    EXPECT_TRUE(renderer->renderAtTime(1.0, nullptr));
    EXPECT_EQ(CGLGetCurrentContext(), other.context()->CGLContextObj());
    renderer.reset();
    EXPECT_EQ(CGLGetCurrentContext(), other.context()->CGLContextObj());
    CGLSetCurrentContext(nullptr);
}

TEST_F(QCRendererTest, RefusesFilesItCannotLoadAndTimesItCannotRender) {
    TEMBRA_REQUIRE_GL();
    Target target(8, 8);
    ASSERT_TRUE(target.context());
    const auto load = [&](const std::string& path) {
        return QCRenderer::initWithOpenGLContext(target.context(), target.format(), path);
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
