#include "CGL.h"

#include "EGLContextObject.h"
#include "EGLDisplayConnection.h"

namespace {
thread_local CGLContextObj currentContext = nullptr;
}

CGLContextObj CGLGetCurrentContext() { return currentContext; }

CGLError CGLSetCurrentContext(CGLContextObj context) {
    if (!context) {
        // Released through its own display: a window's context lives on
        // another display than the off-screen ones.
        const EGLDisplay display = currentContext ? currentContext->display : EGLDisplayConnection::display();
        if (currentContext && display != EGL_NO_DISPLAY)
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        currentContext = nullptr;
        return kCGLNoError;
    }
    if (context->display == EGL_NO_DISPLAY) return kCGLBadConnection;
    // Making the current context current again would only cost a flush.
    if (context == currentContext && eglGetCurrentSurface(EGL_DRAW) == context->drawable &&
        eglGetCurrentContext() == context->context)
        return kCGLNoError;
    if (!eglMakeCurrent(context->display, context->drawable, context->drawable, context->context))
        return kCGLBadContext;
    currentContext = context;
    return kCGLNoError;
}

CGLContextScope::CGLContextScope(CGLContextObj context)
    : previous_(CGLGetCurrentContext()), ok_(context && CGLSetCurrentContext(context) == kCGLNoError) {}

CGLContextScope::~CGLContextScope() {
    if (CGLGetCurrentContext() != previous_) CGLSetCurrentContext(previous_);
}
