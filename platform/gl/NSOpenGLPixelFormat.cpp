#include "NSOpenGLPixelFormat.h"

#include "EGLDisplayConnection.h"

std::unique_ptr<NSOpenGLPixelFormat> NSOpenGLPixelFormat::initWithAttributes(
    const NSOpenGLPixelFormatAttribute* attributes) {
    EGLint depthSize = 0;
    for (const NSOpenGLPixelFormatAttribute* a = attributes; a && *a != 0; ++a) {
        switch (*a) {
        case NSOpenGLPFADepthSize: depthSize = static_cast<EGLint>(*++a); break;
        case NSOpenGLPFAColorSize:
        case NSOpenGLPFAAlphaSize:
        case NSOpenGLPFAStencilSize: ++a; break;  // 8-bit RGBA is always asked for
        default: break;  // pixel buffer, accelerated, no recovery: preferences
        }
        if (*a == 0) break;  // the list ended where a value was due
    }
    EGLConfig config = nullptr;
    if (!EGLDisplayConnection::chooseConfig(depthSize, &config)) return nullptr;
    return std::unique_ptr<NSOpenGLPixelFormat>(new NSOpenGLPixelFormat(config));
}
