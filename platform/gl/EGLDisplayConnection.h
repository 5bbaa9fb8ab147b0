#pragma once

#include <EGL/egl.h>

// The process's EGL display: Mesa's surfaceless platform, so no window
// system or GPU is needed (llvmpipe renders in software). Opened on first
// use and kept for the life of the process; when no display can be had,
// one log line says why and every later call answers EGL_NO_DISPLAY.
class EGLDisplayConnection {
public:
    static EGLDisplay display();
    // A configuration with 8-bit RGBA, pixel-buffer surfaces and desktop
    // OpenGL, with at least `depthBits` of depth; nothing when none exists.
    static bool chooseConfig(EGLint depthBits, EGLConfig* config);
    // True when contexts may be made without a configuration, so that one
    // context can draw into any pixel buffer.
    static bool hasNoConfigContexts();
};
