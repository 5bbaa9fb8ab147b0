#pragma once

#include "host/QCRenderer.h"
#include "host/QCValues.h"
#include "platform/gl/NSOpenGLContext.h"
#include "platform/graphics/CoreGraphics.h"

#include <cstdint>
#include <memory>
#include <string>

// Renders a composition file off screen at a fixed size and hands each frame
// back as a host image, first row the top of the picture. A renderer exists
// only complete: creation either makes every member or gives nothing.
class OfflineRenderer {
public:
    // Nothing for an empty path or a zero size (silently), or when a part
    // cannot be made (with a log line for the pixel buffer, the context and
    // the composition).
    static std::unique_ptr<OfflineRenderer> initWithCompositionPath(const std::string& path, uint32_t width,
                                                                    uint32_t height);
    static std::unique_ptr<OfflineRenderer> init();
    ~OfflineRenderer();
    OfflineRenderer(const OfflineRenderer&) = delete;
    OfflineRenderer& operator=(const OfflineRenderer&) = delete;

    // The picture at `time`, or nothing when rendering or reading back fails;
    // the renderer stays usable either way.
    ImageRef QCGLCGImageForTime(double time);

    uint32_t scratchBufferRowBytes() const { return _scratchBufferRowBytes; }
    // The low-level context the pixels are read from (for measuring the bare read-back).
    CGLContextObj context() const { return cgl_ctx; }

private:
    OfflineRenderer() = default;

    std::unique_ptr<NSOpenGLPixelBuffer> _pixelBuffer;
    std::unique_ptr<NSOpenGLContext> _openGLContext;
    std::unique_ptr<QCRenderer> _renderer;
    PageAlignedBuffer _scratchBufferPtr;      // upright: first row = top row
    PageAlignedBuffer _scratchBufferPtrFlip;  // as read back: first row = bottom row
    uint32_t _scratchBufferRowBytes = 0;
    CGLContextObj cgl_ctx = nullptr;
    int32_t _width = 0, _height = 0;
    CGColorSpaceRef _colorspace;
};
