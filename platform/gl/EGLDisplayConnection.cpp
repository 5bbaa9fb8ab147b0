#include "EGLDisplayConnection.h"

#include "platform/foundation/NSLog.h"

#include <EGL/eglext.h>

#include <cstring>

namespace {

bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name))
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
    return false;
}

struct Connection {
    EGLDisplay display = EGL_NO_DISPLAY;
    bool noConfigContexts = false;
};

Connection open() {
    Connection c;
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless"))
        c.display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    else
        c.display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    EGLint major = 0, minor = 0;
    if (c.display == EGL_NO_DISPLAY || !eglInitialize(c.display, &major, &minor)) {
        NSLog("OpenGL: no EGL display (EGL error 0x%04x); nothing can be rendered", eglGetError());
        c.display = EGL_NO_DISPLAY;
        return c;
    }
    const char* extensions = eglQueryString(c.display, EGL_EXTENSIONS);
    if (!hasExtension(eglQueryString(c.display, EGL_CLIENT_APIS), "OpenGL")) {
        NSLog("OpenGL: the EGL display offers no desktop OpenGL; nothing can be rendered");
        eglTerminate(c.display);
        c.display = EGL_NO_DISPLAY;
        return c;
    }
    c.noConfigContexts = hasExtension(extensions, "EGL_KHR_no_config_context") ||
                         hasExtension(extensions, "EGL_MESA_configless_context");
    return c;
}

const Connection& connection() {
    static const Connection c = open();
    return c;
}

}  // namespace

EGLDisplay EGLDisplayConnection::display() { return connection().display; }

bool EGLDisplayConnection::hasNoConfigContexts() { return connection().noConfigContexts; }

bool EGLDisplayConnection::chooseConfig(EGLint depthBits, EGLConfig* config) {
    const EGLDisplay dpy = display();
    if (dpy == EGL_NO_DISPLAY) return false;
    const EGLint attributes[] = {
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
        EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
        EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
        EGL_DEPTH_SIZE, depthBits,
        EGL_NONE,
    };
    // EGL sorts configurations without a caveat (not "slow") first, which is
    // how a hardware renderer is preferred when there is one.
    EGLint count = 0;
    return eglChooseConfig(dpy, attributes, config, 1, &count) && count > 0;
}
