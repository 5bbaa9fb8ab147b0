#include "GLTestSupport.h"
#include "platform/gl/EGLContextObject.h"

#include <thread>

namespace {

// Clears the target's picture to (red, 0, 1, 1) and reads it back.
std::vector<uint8_t> clearAndRead(const GLTarget& target, float red) {
    {
        CGLContextScope on(target.context->CGLContextObj());
        EXPECT_TRUE(on.ok());
        glClearColor(red, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    return target.read();
}

}  // namespace

TEST(OpenGLContext, DrawsIntoItsPixelBufferOfTheRequestedSize) {
    TEMBRA_REQUIRE_GL();
    GLTarget t(17, 9, GL_TEXTURE_RECTANGLE_EXT);
    ASSERT_TRUE(t.buffer);
    ASSERT_TRUE(t.context);
    EXPECT_EQ(t.buffer->pixelsWide(), 17);
    EXPECT_EQ(t.buffer->pixelsHigh(), 9);
    const auto pixels = clearAndRead(t, 1.0f);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i], 255);
        ASSERT_EQ(pixels[i + 1], 0);
        ASSERT_EQ(pixels[i + 2], 255);
    }
    // The compatibility profile keeps immediate mode, which drawing patches use.
    CGLContextScope on(t.context->CGLContextObj());
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 24);
    glBegin(GL_TRIANGLES);
    glVertex2f(0, 0);
    glVertex2f(1, 0);
    glVertex2f(0, 1);
    glEnd();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(OpenGLContext, RefusesWhatCannotBeMade) {
    TEMBRA_REQUIRE_GL();
    EXPECT_FALSE(NSOpenGLPixelBuffer::initWithTextureTarget(GL_TEXTURE_RECTANGLE_EXT, GL_RGBA, 0, 0, 10));
    EXPECT_FALSE(NSOpenGLPixelBuffer::initWithTextureTarget(GL_TEXTURE_RECTANGLE_EXT, GL_RGBA, 0, 10, -1));
    EXPECT_FALSE(NSOpenGLPixelBuffer::initWithTextureTarget(GL_TEXTURE_3D, GL_RGBA, 0, 10, 10));
    EXPECT_FALSE(NSOpenGLPixelBuffer::initWithTextureTarget(GL_TEXTURE_2D, GL_RGBA, 0, 1 << 20, 1 << 20));
    EXPECT_FALSE(NSOpenGLContext::initWithFormat(nullptr, nullptr));
}

TEST(OpenGLContext, CurrentContextIsPerThreadAndScopesRestoreIt) {
    TEMBRA_REQUIRE_GL();
    GLTarget a(4, 4), b(4, 4);
    ASSERT_TRUE(a.context && b.context);
    ASSERT_EQ(CGLGetCurrentContext(), nullptr);
    ASSERT_EQ(CGLSetCurrentContext(a.context->CGLContextObj()), kCGLNoError);
    {
        CGLContextScope on(b.context->CGLContextObj());
        EXPECT_EQ(CGLGetCurrentContext(), b.context->CGLContextObj());
        std::thread([] { EXPECT_EQ(CGLGetCurrentContext(), nullptr); }).join();
    }
    EXPECT_EQ(CGLGetCurrentContext(), a.context->CGLContextObj());
    // Each context kept its own picture although both were used in turn.
    const auto fromB = clearAndRead(b, 0.0f);
    const auto fromA = clearAndRead(a, 1.0f);
    EXPECT_EQ(fromB[0], 0);
    EXPECT_EQ(fromA[0], 255);
    EXPECT_EQ(CGLGetCurrentContext(), a.context->CGLContextObj());

    // Destroying the current context leaves none current, not a dangling one.
    a.context.reset();
    EXPECT_EQ(CGLGetCurrentContext(), nullptr);
}

TEST(OpenGLContext, ClearDrawableDetachesAndAttachingAgainDrawsAgain) {
    TEMBRA_REQUIRE_GL();
    GLTarget t(8, 8);
    ASSERT_TRUE(t.context);
    const CGLContextObj context = t.context->CGLContextObj();
    ASSERT_EQ(CGLSetCurrentContext(context), kCGLNoError);
    t.context->clearDrawable();
    EXPECT_EQ(context->drawable, EGL_NO_SURFACE);
    EXPECT_EQ(eglGetCurrentSurface(EGL_DRAW), EGL_NO_SURFACE);
    // A surfaceless context is still a context, so the buffer can go first.
    t.buffer = NSOpenGLPixelBuffer::initWithTextureTarget(GL_TEXTURE_2D, GL_RGBA, 0, 3, 2);
    ASSERT_TRUE(t.buffer);
    t.width = 3, t.height = 2;
    t.context->setPixelBuffer(t.buffer.get(), 0, 0, 0);
    EXPECT_EQ(eglGetCurrentSurface(EGL_DRAW), t.buffer->surface());
    const auto pixels = clearAndRead(t, 1.0f);
    EXPECT_EQ(pixels[0], 255);
    CGLSetCurrentContext(nullptr);
    EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
}
