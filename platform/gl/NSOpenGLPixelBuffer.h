#pragma once

#include <memory>

using GLenum = unsigned int;
using GLint = int;
using GLsizei = int;

// The rectangle texture target under its older extension name.
#ifndef GL_TEXTURE_RECTANGLE_EXT
#define GL_TEXTURE_RECTANGLE_EXT 0x84F5
#endif

// An off-screen render target of a fixed size: an EGL pixel-buffer surface
// with 8-bit RGBA colour and a 24-bit depth buffer.
class NSOpenGLPixelBuffer {
public:
    // `target` GL_TEXTURE_2D or GL_TEXTURE_RECTANGLE_EXT, `internalFormat`
    // GL_RGBA or GL_RGB, `maxLevel` 0. Nothing for a zero or too large size
    // or when there is no EGL display.
    static std::unique_ptr<NSOpenGLPixelBuffer> initWithTextureTarget(GLenum target, GLenum internalFormat,
                                                                      GLint maxLevel, GLsizei pixelsWide,
                                                                      GLsizei pixelsHigh);
    ~NSOpenGLPixelBuffer();
    NSOpenGLPixelBuffer(const NSOpenGLPixelBuffer&) = delete;
    NSOpenGLPixelBuffer& operator=(const NSOpenGLPixelBuffer&) = delete;

    GLsizei pixelsWide() const { return width_; }
    GLsizei pixelsHigh() const { return height_; }
    // The EGLSurface; EGL's handles are opaque pointers, held as such so
    // that EGL's headers stay inside this layer.
    void* surface() const { return surface_; }

private:
    NSOpenGLPixelBuffer(void* display, void* surface, GLsizei width, GLsizei height)
        : display_(display), surface_(surface), width_(width), height_(height) {}
    void* display_;  // EGLDisplay
    void* surface_;  // EGLSurface
    GLsizei width_, height_;
};
