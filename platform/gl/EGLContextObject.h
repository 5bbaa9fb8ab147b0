#pragma once

#include "CGL.h"

#include <EGL/egl.h>

// What a CGLContextObj points to: an EGL context with the surface it draws
// into (none: surfaceless) and that surface's size.
struct _CGLContextObject {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface drawable = EGL_NO_SURFACE;
    int drawableWidth = 0;
    int drawableHeight = 0;
    // Shares the textures of the process's one share group.
    bool inShareGroup = false;
};
