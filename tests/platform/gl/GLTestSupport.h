#pragma once

#include "platform/gl/EGLDisplayConnection.h"
#include "platform/gl/NSOpenGLContext.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

// OpenGL tests run on Mesa's software renderer. Without an EGL display they
// fail in CI and are skipped elsewhere.
#define TEMBRA_REQUIRE_GL()                                                                  \
    do {                                                                                     \
        if (EGLDisplayConnection::display() == EGL_NO_DISPLAY) {                             \
            const char* ci = std::getenv("CI");                                              \
            if (ci && std::strcmp(ci, "true") == 0) FAIL() << "no EGL display in CI";        \
            GTEST_SKIP() << "no EGL display (install Mesa: libegl-mesa0 libgl1-mesa-dri)";   \
        }                                                                                    \
    } while (0)

// An off-screen target: a pixel buffer of the given size and a context that
// draws into it. Either is missing when OpenGL refuses it.
struct GLTarget {
    GLTarget(int width, int height, GLenum textureTarget = GL_TEXTURE_2D) : width(width), height(height) {
        static const NSOpenGLPixelFormatAttribute attributes[] = {
            NSOpenGLPFAPixelBuffer, NSOpenGLPFANoRecovery, NSOpenGLPFAAccelerated, NSOpenGLPFADepthSize, 24, 0,
        };
        format = NSOpenGLPixelFormat::initWithAttributes(attributes);
        buffer = NSOpenGLPixelBuffer::initWithTextureTarget(textureTarget, GL_RGBA, 0, width, height);
        context = NSOpenGLContext::initWithFormat(format.get(), nullptr);
        if (buffer && context) context->setPixelBuffer(buffer.get(), 0, 0, context->currentVirtualScreen());
    }
    ~GLTarget() {
        if (context) context->clearDrawable();
    }
    GLTarget(const GLTarget&) = delete;
    GLTarget& operator=(const GLTarget&) = delete;

    // The pixels, 4 bytes each (red, green, blue, alpha), rows from the
    // bottom up as OpenGL reads them.
    std::vector<uint8_t> read() const {
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4, 7);
        CGLContextScope on(context->CGLContextObj());
        EXPECT_TRUE(on.ok());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        return pixels;
    }

    int width, height;
    std::unique_ptr<NSOpenGLPixelFormat> format;
    std::unique_ptr<NSOpenGLPixelBuffer> buffer;
    std::unique_ptr<NSOpenGLContext> context;
};

struct RGBA {
    int r, g, b, a;
    bool operator==(const RGBA&) const = default;
};

inline void PrintTo(const RGBA& p, std::ostream* out) {
    *out << "rgba(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

// The pixel under the host's point (x, y) -- x from -1 to 1 across the width,
// y from -h/w to h/w -- of a picture whose rows run bottom up (as OpenGL
// reads them) or top down (as files store them).
inline RGBA pixelAtHostPoint(const std::vector<uint8_t>& pixels, int width, int height, double x, double y,
                             bool bottomUp = true) {
    const double aspect = static_cast<double>(height) / width;
    const int px = static_cast<int>(std::floor((x + 1.0) / 2.0 * width));
    int py = static_cast<int>(std::floor((y + aspect) / (2.0 * aspect) * height));
    if (!bottomUp) py = height - 1 - py;
    const uint8_t* p = &pixels.at((static_cast<size_t>(py) * width + px) * 4);
    return {p[0], p[1], p[2], p[3]};
}
