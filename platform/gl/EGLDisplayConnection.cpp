#include "EGLDisplayConnection.h"

#include "platform/foundation/NSLog.h"

#include <EGL/eglext.h>

#include <cstring>
#include <mutex>
#include <optional>

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

Connection open(EGLDisplay given) {
    Connection c;
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (given != EGL_NO_DISPLAY)
        c.display = given;
    else if (hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless"))
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
        if (given == EGL_NO_DISPLAY) eglTerminate(c.display);
        c.display = EGL_NO_DISPLAY;
        return c;
    }
    c.noConfigContexts = hasExtension(extensions, "EGL_KHR_no_config_context") ||
                         hasExtension(extensions, "EGL_MESA_configless_context");
    return c;
}

std::mutex connectionMutex;
std::optional<Connection> opened;

const Connection& connection() {
    const std::lock_guard lock(connectionMutex);
    if (!opened) opened = open(EGL_NO_DISPLAY);
    return *opened;
}

}  // namespace

EGLDisplay EGLDisplayConnection::display() { return connection().display; }

bool EGLDisplayConnection::adopt(EGLDisplay display) {
    const std::lock_guard lock(connectionMutex);
    if (opened) return opened->display == display && display != EGL_NO_DISPLAY;
    if (display == EGL_NO_DISPLAY) return false;
    Connection c = open(display);
    if (c.display == EGL_NO_DISPLAY) return false;
    opened = c;
    return true;
}

EGLContext EGLDisplayConnection::createContext(EGLConfig config, EGLContext share) {
    const EGLDisplay dpy = display();
    if (dpy == EGL_NO_DISPLAY) return EGL_NO_CONTEXT;
    // The API is per thread; contexts are always desktop OpenGL here.
    if (!eglBindAPI(EGL_OPENGL_API)) return EGL_NO_CONTEXT;
    const EGLint attributes[] = {
        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
        EGL_NONE,
    };
    return eglCreateContext(dpy, config, share, attributes);
}

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
