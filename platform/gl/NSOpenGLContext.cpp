#include "NSOpenGLContext.h"

#include "EGLContextObject.h"
#include "EGLDisplayConnection.h"

std::unique_ptr<NSOpenGLContext> NSOpenGLContext::initWithFormat(const NSOpenGLPixelFormat* format,
                                                                 const NSOpenGLContext* shareContext) {
    const EGLDisplay display = EGLDisplayConnection::display();
    if (!format || display == EGL_NO_DISPLAY) return nullptr;
    // The API is per thread; contexts are always desktop OpenGL here.
    if (!eglBindAPI(EGL_OPENGL_API)) return nullptr;
    const EGLint attributes[] = {
        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
        EGL_NONE,
    };
    // A context without a configuration can draw into any pixel buffer,
    // whichever configuration the buffer was made with.
    const EGLConfig config = EGLDisplayConnection::hasNoConfigContexts() ? EGLConfig(nullptr) : format->config();
    const EGLContext share = shareContext ? shareContext->object_->context : EGL_NO_CONTEXT;
    const EGLContext context = eglCreateContext(display, config, share, attributes);
    if (context == EGL_NO_CONTEXT) return nullptr;
    std::unique_ptr<NSOpenGLContext> result(new NSOpenGLContext());
    result->object_->display = display;
    result->object_->context = context;
    return result;
}

NSOpenGLContext::NSOpenGLContext() : object_(std::make_unique<_CGLContextObject>()) {}

NSOpenGLContext::~NSOpenGLContext() {
    if (CGLGetCurrentContext() == object_.get()) CGLSetCurrentContext(nullptr);
    eglDestroyContext(object_->display, object_->context);
}

void NSOpenGLContext::setPixelBuffer(const NSOpenGLPixelBuffer* pixelBuffer, GLenum, GLint, GLint) {
    if (!pixelBuffer) return clearDrawable();
    setDrawable(pixelBuffer->surface(), pixelBuffer->pixelsWide(), pixelBuffer->pixelsHigh());
}

void NSOpenGLContext::clearDrawable() { setDrawable(EGL_NO_SURFACE, 0, 0); }

void NSOpenGLContext::setDrawable(void* surface, int width, int height) {
    object_->drawable = surface;
    object_->drawableWidth = width;
    object_->drawableHeight = height;
    // A context current on this thread takes the new drawable at once.
    if (CGLGetCurrentContext() == object_.get()) CGLSetCurrentContext(object_.get());
}
