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
    // Uses `display` (one a window system opened) as the process's display,
    // so that a window's context can share textures with the off-screen
    // ones. Only before anything else opened the display: false when the
    // process already has another one, or `display` offers no desktop
    // OpenGL.
    static bool adopt(EGLDisplay display);
    // A desktop OpenGL context (compatibility profile) on the process's
    // display, of `config` (null: none, where contexts may be made without),
    // sharing textures with `share`; EGL_NO_CONTEXT when EGL refuses.
    static EGLContext createContext(EGLConfig config, EGLContext share);
};
