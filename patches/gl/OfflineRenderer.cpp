#include "OfflineRenderer.h"

#include "host/QCGLCGImage.h"
#include "platform/foundation/NSLog.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <new>

std::unique_ptr<OfflineRenderer> OfflineRenderer::init() { return initWithCompositionPath("", 0, 0); }

std::unique_ptr<OfflineRenderer> OfflineRenderer::initWithCompositionPath(const std::string& path, uint32_t width,
                                                                          uint32_t height) {
    const NSOpenGLPixelFormatAttribute attributes[] = {
        NSOpenGLPFAPixelBuffer, NSOpenGLPFANoRecovery, NSOpenGLPFAAccelerated, NSOpenGLPFADepthSize, 24, 0,
    };
    const auto format = NSOpenGLPixelFormat::initWithAttributes(attributes);

    if (path.empty() || width == 0 || height == 0) return nullptr;

    // Giving up releases the partly built renderer through its destructor.
    std::unique_ptr<OfflineRenderer> self(new OfflineRenderer());

    self->_pixelBuffer = NSOpenGLPixelBuffer::initWithTextureTarget(
        GL_TEXTURE_RECTANGLE_EXT, GL_RGBA, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    if (!self->_pixelBuffer) {
        NSLog("Cannot create OpenGL pixel buffer");
        return nullptr;
    }

    self->_openGLContext = NSOpenGLContext::initWithFormat(format.get(), nullptr);
    if (!self->_openGLContext) {
        NSLog("Cannot create OpenGL context");
        return nullptr;
    }

    self->_openGLContext->setPixelBuffer(self->_pixelBuffer.get(), 0, 0,
                                         self->_openGLContext->currentVirtualScreen());
    self->cgl_ctx = self->_openGLContext->CGLContextObj();
    self->_width = self->_pixelBuffer->pixelsWide();
    self->_height = self->_pixelBuffer->pixelsHigh();

    self->_renderer = QCRenderer::initWithOpenGLContext(self->_openGLContext.get(), format.get(), path);
    if (!self->_renderer) {
        NSLog("Cannot create QCRenderer");
        return nullptr;
    }

    self->_scratchBufferRowBytes = (width * 4 + 63) & ~63u;
    try {
        const size_t bytes = size_t{self->_scratchBufferRowBytes} * height;
        self->_scratchBufferPtr = PageAlignedBuffer(bytes, PageAlignedBuffer::Fill::None);
        self->_scratchBufferPtrFlip = PageAlignedBuffer(bytes, PageAlignedBuffer::Fill::None);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }

    self->_colorspace = CGColorSpaceCreateDeviceRGB();
    return self;
}

OfflineRenderer::~OfflineRenderer() {
    CGColorSpaceRelease(_colorspace);
    _scratchBufferPtr = PageAlignedBuffer();
    _scratchBufferPtrFlip = PageAlignedBuffer();
    _renderer.reset();
    if (_openGLContext) _openGLContext->clearDrawable();
    _openGLContext.reset();
    _pixelBuffer.reset();
}

ImageRef OfflineRenderer::QCGLCGImageForTime(double time) {
    {
        // EGL addresses the thread's current context, so the rendering and
        // the read-back make cgl_ctx current for their length (once, rather
        // than a switch for each) and then restore the caller's.
        CGLContextScope on(cgl_ctx);
        if (!on.ok()) return nullptr;
        if (!_renderer->renderAtTime(time, nullptr)) return nullptr;
        glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(_scratchBufferRowBytes / 4));
        glReadPixels(0, 0, _width, _height, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV, _scratchBufferPtrFlip.data());
        if (glGetError() != GL_NO_ERROR) return nullptr;
    }

    for (int32_t i = 0; i < _height; ++i)
        std::memcpy(_scratchBufferPtr.data() + size_t{_scratchBufferRowBytes} * static_cast<size_t>(_height - 1 - i),
                    _scratchBufferPtrFlip.data() + size_t{_scratchBufferRowBytes} * static_cast<size_t>(i),
                    _scratchBufferRowBytes);

    CGContextRef bitmapContext =
        CGBitmapContextCreate(_scratchBufferPtr.data(), static_cast<size_t>(_width), static_cast<size_t>(_height), 8,
                              _scratchBufferRowBytes, _colorspace, kCGImageAlphaPremultipliedLast);
    CGImageRef bitmapImage = CGBitmapContextCreateImage(bitmapContext.get());
    auto qcglOut = std::make_shared<const QCGLCGImage>(bitmapImage, nullptr);
    CGImageRelease(bitmapImage);
    CGContextRelease(bitmapContext);
    return qcglOut;
}
