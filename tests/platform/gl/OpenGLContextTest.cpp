#include "GLTestSupport.h"
#include "platform/gl/NSOpenGLContext.h"

#include <GL/gl.h>

#include <thread>
#include <vector>

namespace {

const NSOpenGLPixelFormatAttribute kAttributes[] = {
    NSOpenGLPFAPixelBuffer, NSOpenGLPFANoRecovery, NSOpenGLPFAAccelerated, NSOpenGLPFADepthSize, 24, 0,
};

struct Target {
    std::unique_ptr<NSOpenGLPixelBuffer> buffer;
    std::unique_ptr<NSOpenGLContext> context;
};

Target makeTarget(int width, int height) {
    const auto format = NSOpenGLPixelFormat::initWithAttributes(kAttributes);
    Target t;
    t.buffer = NSOpenGLPixelBuffer::initWithTextureTarget(GL_TEXTURE_RECTANGLE_EXT, GL_RGBA, 0, width, height);
    t.context = NSOpenGLContext::initWithFormat(format.get(), nullptr);
    if (t.buffer && t.context) t.context->setPixelBuffer(t.buffer.get(), 0, 0, t.context->currentVirtualScreen());
    return t;
}

std::vector<uint8_t> clearAndRead(CGLContextObj context, float red, int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4, 7);
    CGLContextScope on(context);
    EXPECT_TRUE(on.ok());
    glClearColor(red, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    return pixels;
}

}  // namespace

TEST(OpenGLContext, DrawsIntoItsPixelBufferOfTheRequestedSize) {
    TEMBRA_REQUIRE_GL();
    Target t = makeTarget(17, 9);
    ASSERT_TRUE(t.buffer);
    ASSERT_TRUE(t.context);
    EXPECT_EQ(t.buffer->pixelsWide(), 17);
    EXPECT_EQ(t.buffer->pixelsHigh(), 9);
    const auto pixels = clearAndRead(t.context->CGLContextObj(), 1.0f, 17, 9);
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
    Target a = makeTarget(4, 4), b = makeTarget(4, 4);
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
    const auto fromB = clearAndRead(b.context->CGLContextObj(), 0.0f, 4, 4);
    const auto fromA = clearAndRead(a.context->CGLContextObj(), 1.0f, 4, 4);
    EXPECT_EQ(fromB[0], 0);
    EXPECT_EQ(fromA[0], 255);
    EXPECT_EQ(CGLGetCurrentContext(), a.context->CGLContextObj());

    // Destroying the current context leaves none current, not a dangling one.
    a.context.reset();
    EXPECT_EQ(CGLGetCurrentContext(), nullptr);
}

TEST(OpenGLContext, ClearDrawableDetachesAndAttachingAgainDrawsAgain) {
    TEMBRA_REQUIRE_GL();
    Target t = makeTarget(8, 8);
    ASSERT_TRUE(t.context);
    const CGLContextObj context = t.context->CGLContextObj();
    ASSERT_EQ(CGLSetCurrentContext(context), kCGLNoError);
    t.context->clearDrawable();
    EXPECT_EQ(context->drawable, EGL_NO_SURFACE);
    EXPECT_EQ(eglGetCurrentSurface(EGL_DRAW), EGL_NO_SURFACE);
    // A surfaceless context is still a context, so the buffer can go first.
    t.buffer = NSOpenGLPixelBuffer::initWithTextureTarget(GL_TEXTURE_2D, GL_RGBA, 0, 3, 2);
    ASSERT_TRUE(t.buffer);
    t.context->setPixelBuffer(t.buffer.get(), 0, 0, 0);
    EXPECT_EQ(eglGetCurrentSurface(EGL_DRAW), t.buffer->surface());
    const auto pixels = clearAndRead(context, 1.0f, 3, 2);
    EXPECT_EQ(pixels[0], 255);
    CGLSetCurrentContext(nullptr);
    EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
}
