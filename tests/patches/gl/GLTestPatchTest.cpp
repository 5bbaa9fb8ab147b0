#include "host/Evaluator.h"
#include "host/QCRenderer.h"
#include "patches/TembraPatchLoader.h"
#include "patches/gl/GLTest.h"
#include "platform/graphics/PNGFile.h"
#include "tests/platform/gl/GLTestSupport.h"
#include "tests/support/TestSupport.h"

#include <GL/gl.h>

#include <vector>

namespace {

// Checks a GLTest picture in the host projection: each sampled point is
// inside exactly the shape named, or outside every shape.
void expectTestPicture(const std::vector<uint8_t>& pixels, int width, int height, bool bottomUp) {
    const auto at = [&](double x, double y) { return pixelAtHostPoint(pixels, width, height, x, y, bottomUp); };
    // Green triangle, near its bright apex and lower down where it is darker.
    RGBA p = at(0.0, 0.7);
    EXPECT_GT(p.g, 220);
    EXPECT_EQ(p.r + p.b, 0);
    p = at(0.5, -0.5);
    EXPECT_GT(p.g, 128);
    EXPECT_LT(p.g, 200);
    EXPECT_EQ(p.r + p.b, 0);
    // Blue triangle, to the left, drawn over nothing there.
    p = at(-0.9, 0.0);
    EXPECT_GT(p.b, 128);
    EXPECT_EQ(p.r + p.g, 0);
    // Outside every shape: the clear colour.
    p = at(0.9, 0.7);
    EXPECT_EQ(p.r + p.g + p.b + p.a, 0);
    p = at(0.6, 0.5);
    EXPECT_EQ(p.r + p.g + p.b + p.a, 0);
}

class GLTestPatch : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TembraPatchLoader::registerNodesWithManager(QCNodeManager::shared()); }
    TempDir dir;
};

}  // namespace

TEST_F(GLTestPatch, DrawsTheTestPictureInTheHostProjection) {
    TEMBRA_REQUIRE_GL();
    const std::string file = dir.write("gltest.json", R"({"patches": [{"id": "gl", "class": "GLTest"}]})");
    GLTarget target(64, 64);
    ASSERT_TRUE(target.context);
    auto renderer = QCRenderer::initWithOpenGLContext(target.context.get(), target.format.get(), file);
    ASSERT_TRUE(renderer);
    ASSERT_TRUE(renderer->renderAtTime(0.0, nullptr));
    expectTestPicture(target.read(), 64, 64, true);

    // In a frame twice as wide as high, y runs from -0.5 to 0.5: (0.2, 0.45)
    // is inside the green triangle only if the projection keeps proportions.
    GLTarget wide(128, 64);
    auto wideRenderer = QCRenderer::initWithOpenGLContext(wide.context.get(), wide.format.get(), file);
    ASSERT_TRUE(wideRenderer);
    ASSERT_TRUE(wideRenderer->renderAtTime(0.0, nullptr));
    const auto pixels = wide.read();
    EXPECT_GT(pixelAtHostPoint(pixels, 128, 64, 0.2, 0.45).g, 200);
    EXPECT_GT(pixelAtHostPoint(pixels, 128, 64, 0.6, -0.45).g, 100);
    EXPECT_EQ(pixelAtHostPoint(pixels, 128, 64, 0.6, 0.4).g, 0);
}

TEST_F(GLTestPatch, DrawsIntoTheHostContextAndRestoresTheThreadsContext) {
    TEMBRA_REQUIRE_GL();
    GLTarget host(64, 64), other(8, 8);
    ASSERT_TRUE(host.context && other.context);
    {
        // The host's projection, and a red picture that the patch must clear.
        CGLContextScope on(host.context->CGLContextObj());
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-1, 1, -1, 1, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 0, 0, 0);
    }
    GLTest patch("gl");
    // Ports that do not change the picture.
    patch.inputX.setDoubleValue(0.7);
    patch.inputScale.setDoubleValue(3.0);
    QCOpenGLContext openglcontext(host.context->CGLContextObj());

    ASSERT_EQ(CGLSetCurrentContext(other.context->CGLContextObj()), kCGLNoError);
    EXPECT_TRUE(patch.execute(&openglcontext, 0.0, nullptr));
    EXPECT_EQ(CGLGetCurrentContext(), other.context->CGLContextObj());
    CGLSetCurrentContext(nullptr);
    expectTestPicture(host.read(), 64, 64, true);

    // The translation is left on the host's matrix, not on the other context's.
    {
        CGLContextScope on(host.context->CGLContextObj());
        GLfloat matrix[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
        EXPECT_FLOAT_EQ(matrix[12], 3.0f);
    }
    {
        CGLContextScope on(other.context->CGLContextObj());
        GLfloat matrix[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
        EXPECT_FLOAT_EQ(matrix[12], 0.0f);
    }

    // No host context: nothing to draw into, and no crash.
    EXPECT_TRUE(patch.execute(nullptr, 0.0, nullptr));
    EXPECT_EQ(CGLGetCurrentContext(), nullptr);
}

TEST_F(GLTestPatch, TembraRunSavesTheFramesTheConsumersDrew) {
    TEMBRA_REQUIRE_GL();
    const std::string file =
        dir.write("gltest.json", R"({"renderSize": [64, 48], "patches": [{"id": "gl", "class": "GLTest"}]})");
    const std::string pattern = (dir.path() / "frames" / "f-%02d.png").string();
    const CommandResult run = runCommand(tembraProgram() + " --bundle " + bundlePath() + " run " + file +
                                         " --frames 2 --render " + pattern);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* name : {"f-00.png", "f-01.png"}) {
        std::string error;
        const CGImageRef image = CGImageCreateWithPNGFile((dir.path() / "frames" / name).string(), &error);
        ASSERT_TRUE(image) << error;
        ASSERT_EQ(image->width, 64u);
        ASSERT_EQ(image->height, 48u);
        ASSERT_EQ(image->bytesPerRow, 64u * 4);
        std::vector<uint8_t> pixels(image->pixels.data(), image->pixels.data() + 64 * 48 * 4);
        expectTestPicture(pixels, 64, 48, false);
    }

    // --render needs something that draws.
    const std::string quiet = dir.write("quiet.json", R"({"patches": []})");
    const CommandResult refused =
        runCommand(tembraProgram() + " --bundle " + bundlePath() + " run " + quiet + " --render " + pattern);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--render"), std::string::npos);
}

TEST_F(GLTestPatch, WithoutOpenGLTheHostSaysSoAndRunsOn) {
    // Mesa finds no driver here, so EGL has no display.
    dir.write("gltest.json", R"({"patches": [{"id": "gl", "class": "GLTest"}]})");
    const std::string file = dir.write("outer.json", R"({"patches": [
        {"id": "render", "class": "TembraImageWithComposition", "inputs": {"inputCompositionPath": "gltest.json"}},
        {"id": "show", "class": "Billboard"}],
        "connections": [{"from": "render.outputImage", "to": "show.inputImage"}]})");
    const std::string env = "LIBGL_DRIVERS_PATH=/nonexistent EGL_LOG_LEVEL=fatal ";
    const CommandResult run =
        runCommand(env + tembraProgram() + " --bundle " + bundlePath() + " run " + file + " --frames 3");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("OpenGL: no EGL display"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Cannot create OpenGL pixel buffer"), std::string::npos) << run.err;

    const CommandResult render = runCommand(env + tembraProgram() + " --bundle " + bundlePath() + " run " + file +
                                            " --render " + (dir.path() / "f-%d.png").string());
    EXPECT_EQ(render.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "f-0.png"));
}
