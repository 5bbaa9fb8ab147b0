#include "NSOpenGLContext.h"

#include "EGLContextObject.h"
#include "EGLDisplayConnection.h"
#include "GLShareGroup.h"

std::unique_ptr<NSOpenGLContext> NSOpenGLContext::initWithFormat(const NSOpenGLPixelFormat* format,
                                                                 const NSOpenGLContext* shareContext) {
    const EGLDisplay display = EGLDisplayConnection::display();
    if (!format || display == EGL_NO_DISPLAY) return nullptr;
    // A context without a configuration can draw into any pixel buffer,
    // whichever configuration the buffer was made with.
    const EGLConfig config = EGLDisplayConnection::hasNoConfigContexts() ? EGLConfig(nullptr) : format->config();
    // Without a context to share with, the context joins the process's
    // share group, so images on the GPU reach it.
    const ::CGLContextObj group = shareContext ? shareContext->object_.get() : GLShareGroup::context();
    const EGLContext share = group ? group->context : EGL_NO_CONTEXT;
    const EGLContext context = EGLDisplayConnection::createContext(config, share);
    if (context == EGL_NO_CONTEXT) return nullptr;
    std::unique_ptr<NSOpenGLContext> result(new NSOpenGLContext());
    result->object_->display = display;
    result->object_->context = context;
    result->object_->inShareGroup = GLShareGroup::isMember(group);
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
