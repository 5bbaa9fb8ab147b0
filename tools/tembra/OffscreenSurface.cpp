#include "OffscreenSurface.h"

#include <GL/gl.h>

std::unique_ptr<OffscreenSurface> OffscreenSurface::create(int width, int height, std::string* error) {
    const NSOpenGLPixelFormatAttribute attributes[] = {
        NSOpenGLPFAPixelBuffer, NSOpenGLPFAAccelerated, NSOpenGLPFADepthSize, 24, 0,
    };
    const auto format = NSOpenGLPixelFormat::initWithAttributes(attributes);
    std::unique_ptr<OffscreenSurface> surface(new OffscreenSurface());
    surface->pixelBuffer_ = NSOpenGLPixelBuffer::initWithTextureTarget(GL_TEXTURE_2D, GL_RGBA, 0, width, height);
    surface->context_ = NSOpenGLContext::initWithFormat(format.get(), nullptr);
    if (!surface->pixelBuffer_ || !surface->context_) {
        if (error)
            *error = "cannot make an OpenGL context of " + std::to_string(width) + "x" + std::to_string(height) +
                     " to render the composition";
        return nullptr;
    }
    surface->width_ = width;
    surface->height_ = height;
    surface->context_->setPixelBuffer(surface->pixelBuffer_.get(), 0, 0, surface->context_->currentVirtualScreen());
    return surface;
}

OffscreenSurface::~OffscreenSurface() {
    if (context_) context_->clearDrawable();
}
