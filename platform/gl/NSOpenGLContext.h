#pragma once

#include "CGL.h"
#include "NSOpenGLPixelBuffer.h"
#include "NSOpenGLPixelFormat.h"

#include <memory>

// A desktop OpenGL context (compatibility profile, so immediate mode works)
// that draws into a pixel buffer once one is attached. Destroying it while
// it is current on this thread leaves no context current.
class NSOpenGLContext {
public:
    // Nothing without a format or when EGL refuses the context.
    static std::unique_ptr<NSOpenGLContext> initWithFormat(const NSOpenGLPixelFormat* format,
                                                           const NSOpenGLContext* shareContext);
    ~NSOpenGLContext();
    NSOpenGLContext(const NSOpenGLContext&) = delete;
    NSOpenGLContext& operator=(const NSOpenGLContext&) = delete;

    // There is one virtual screen.
    GLint currentVirtualScreen() const { return 0; }
    // From now on the context draws into `pixelBuffer`, which must outlive
    // the attachment (until clearDrawable or the next attachment).
    void setPixelBuffer(const NSOpenGLPixelBuffer* pixelBuffer, GLenum face, GLint level, GLint screen);
    // Detaches the pixel buffer; the context is surfaceless afterwards.
    void clearDrawable();
    ::CGLContextObj CGLContextObj() { return object_.get(); }

private:
    NSOpenGLContext();
    void setDrawable(void* surface, int width, int height);  // an EGLSurface
    // Behind a pointer, so that EGL's headers stay inside this layer.
    std::unique_ptr<_CGLContextObject> object_;
};
