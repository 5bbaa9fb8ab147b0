#pragma once

#include <cstdint>
#include <memory>

using NSOpenGLPixelFormatAttribute = uint32_t;

// Attribute names; a zero ends the list. Attributes followed by a value are
// marked so.
enum : NSOpenGLPixelFormatAttribute {
    NSOpenGLPFADoubleBuffer = 5,
    NSOpenGLPFAColorSize = 8,   // + value
    NSOpenGLPFAAlphaSize = 11,  // + value
    NSOpenGLPFADepthSize = 12,  // + value
    NSOpenGLPFAStencilSize = 13,  // + value
    NSOpenGLPFANoRecovery = 72,
    NSOpenGLPFAAccelerated = 73,
    NSOpenGLPFAPixelBuffer = 90,
};

// A pixel format: the EGL configuration that satisfies an attribute list.
// "Accelerated" and "no recovery" are preferences: a software renderer is
// accepted rather than having no OpenGL at all.
class NSOpenGLPixelFormat {
public:
    // Nothing when no configuration matches or there is no EGL display.
    static std::unique_ptr<NSOpenGLPixelFormat> initWithAttributes(const NSOpenGLPixelFormatAttribute* attributes);

    // The EGLConfig, held as the opaque pointer it is so that EGL's headers
    // stay inside this layer.
    void* config() const { return config_; }

private:
    explicit NSOpenGLPixelFormat(void* config) : config_(config) {}
    void* config_;
};
