#pragma once

#include "RenderSurface.h"
#include "platform/gl/NSOpenGLContext.h"

#include <memory>
#include <string>

// An off-screen OpenGL context of a fixed size, for `tembra run`.
class OffscreenSurface : public RenderSurface {
public:
    // Nothing, with `error` set, when OpenGL cannot give such a context.
    static std::unique_ptr<OffscreenSurface> create(int width, int height, std::string* error);
    ~OffscreenSurface() override;

    CGLContextObj context() override { return context_->CGLContextObj(); }
    int width() const override { return width_; }
    int height() const override { return height_; }

private:
    OffscreenSurface() = default;
    std::unique_ptr<NSOpenGLPixelBuffer> pixelBuffer_;
    std::unique_ptr<NSOpenGLContext> context_;
    int width_ = 0, height_ = 0;
};
