#include "NSOpenGLPixelBuffer.h"

#include "EGLDisplayConnection.h"

#include <GL/gl.h>

std::unique_ptr<NSOpenGLPixelBuffer> NSOpenGLPixelBuffer::initWithTextureTarget(GLenum target, GLenum internalFormat,
                                                                                GLint maxLevel, GLsizei pixelsWide,
                                                                                GLsizei pixelsHigh) {
    if (target != GL_TEXTURE_2D && target != GL_TEXTURE_RECTANGLE_EXT) return nullptr;
    if (internalFormat != GL_RGBA && internalFormat != GL_RGB) return nullptr;
    if (maxLevel != 0 || pixelsWide <= 0 || pixelsHigh <= 0) return nullptr;
    const EGLDisplay display = EGLDisplayConnection::display();
    EGLConfig config = nullptr;
    if (!EGLDisplayConnection::chooseConfig(24, &config)) return nullptr;
    EGLint maxWidth = 0, maxHeight = 0;
    eglGetConfigAttrib(display, config, EGL_MAX_PBUFFER_WIDTH, &maxWidth);
    eglGetConfigAttrib(display, config, EGL_MAX_PBUFFER_HEIGHT, &maxHeight);
    if (pixelsWide > maxWidth || pixelsHigh > maxHeight) return nullptr;
    const EGLint attributes[] = {EGL_WIDTH, pixelsWide, EGL_HEIGHT, pixelsHigh, EGL_NONE};
    const EGLSurface surface = eglCreatePbufferSurface(display, config, attributes);
    if (surface == EGL_NO_SURFACE) return nullptr;
    // EGL may give a smaller surface than asked for; that is no buffer of
    // the requested size.
    EGLint width = 0, height = 0;
    eglQuerySurface(display, surface, EGL_WIDTH, &width);
    eglQuerySurface(display, surface, EGL_HEIGHT, &height);
    if (width != pixelsWide || height != pixelsHigh) {
        eglDestroySurface(display, surface);
        return nullptr;
    }
    return std::unique_ptr<NSOpenGLPixelBuffer>(new NSOpenGLPixelBuffer(display, surface, width, height));
}

NSOpenGLPixelBuffer::~NSOpenGLPixelBuffer() { eglDestroySurface(display_, surface_); }
