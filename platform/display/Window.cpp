#include "platform/display/Window.h"

#include "platform/gl/EGLContextObject.h"
#include "platform/gl/EGLDisplayConnection.h"
#include "platform/gl/GLShareGroup.h"
#include "platform/foundation/NSLog.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

struct Window::Impl {
    SDL_Window* window = nullptr;
    SDL_GLContext glContext = nullptr;
    EGLContext sharedContext = EGL_NO_CONTEXT;  // ours, in the share group, drawing into SDL's surface
    _CGLContextObject object;
    bool vsync = false;
    bool shown = false;
    bool fullscreen = false;

    ~Impl() {
        // Reverse order of making.
        if (CGLGetCurrentContext() == &object) CGLSetCurrentContext(nullptr);
        if (sharedContext != EGL_NO_CONTEXT) eglDestroyContext(object.display, sharedContext);
        if (glContext) SDL_GL_DeleteContext(glContext);
        if (window) SDL_DestroyWindow(window);
        // The window is SDL's only user here: SDL_Quit also closes the D-Bus
        // connection SDL opened, which quitting the video subsystem leaves.
        SDL_Quit();
    }
};

namespace {

// SDL's video, set up the way this layer uses it; 0 or SDL's error code.
int initVideo() {
    // EGL on X11 as on Wayland, so that the context is one platform/gl can
    // make current and restore like its own.
    SDL_SetHint(SDL_HINT_VIDEO_X11_FORCE_EGL, "1");
    // Without a Wayland display, don't let SDL probe for one (libwayland
    // complains on standard error when XDG_RUNTIME_DIR is unset).
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!wayland || !*wayland) && !std::getenv("SDL_VIDEODRIVER")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    // Signals are the program's to handle.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(SDL_INIT_VIDEO);
}

// A context of the share group for SDL's window surface, made current in
// place of SDL's own; EGL_NO_CONTEXT when the share group is on another
// display (something drew off screen before the window opened).
EGLContext sharedWindowContext(EGLDisplay display, EGLSurface surface) {
    if (!EGLDisplayConnection::adopt(display)) return EGL_NO_CONTEXT;
    const CGLContextObj group = GLShareGroup::context();
    if (!group) return EGL_NO_CONTEXT;
    EGLint id = 0, count = 0;
    EGLConfig config = nullptr;
    if (!eglQuerySurface(display, surface, EGL_CONFIG_ID, &id)) return EGL_NO_CONTEXT;
    const EGLint attributes[] = {EGL_CONFIG_ID, id, EGL_NONE};
    if (!eglChooseConfig(display, attributes, &config, 1, &count) || count < 1) return EGL_NO_CONTEXT;
    const EGLContext context = EGLDisplayConnection::createContext(config, group->context);
    if (context == EGL_NO_CONTEXT) return EGL_NO_CONTEXT;
    if (!eglMakeCurrent(display, surface, surface, context)) {
        eglDestroyContext(display, context);
        return EGL_NO_CONTEXT;
    }
    return context;
}

// A pointer over a full-screen show is only in the way.
void showPointer(bool fullscreen) { SDL_ShowCursor(fullscreen ? SDL_DISABLE : SDL_ENABLE); }

}  // namespace

bool Window::displays(std::vector<Display>* displays, std::string* error) {
    displays->clear();
    if (initVideo() != 0) {
        if (error) *error = SDL_GetError();
        return false;
    }
    const int count = SDL_GetNumVideoDisplays();
    for (int i = 0; i < count; ++i) {
        SDL_Rect bounds{};
        SDL_GetDisplayBounds(i, &bounds);
        const char* name = SDL_GetDisplayName(i);
        displays->push_back({i, name ? name : "", bounds.w, bounds.h});
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();  // see ~Impl
    if (count < 0 && error) *error = SDL_GetError();
    return count >= 0;
}

bool Window::displayNamed() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

std::unique_ptr<Window> Window::open(const Settings& settings, std::string* error) {
    const auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return nullptr;
    };
    if (initVideo() != 0) return fail(SDL_GetError());
    auto impl = std::make_unique<Impl>();
    const int displays = SDL_GetNumVideoDisplays();
    if (settings.display >= displays)
        return fail("there is no display " + std::to_string(settings.display) + " (there are " +
                    std::to_string(displays) + ")");

    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN |
                         (settings.fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    // Full screen covers the display the window is placed on.
    const int position = settings.display >= 0 ? static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(settings.display))
                                               : static_cast<int>(SDL_WINDOWPOS_CENTERED);
    // A full-screen window is made at the display's size, so its first
    // frames already cover it rather than waiting for the resize.
    int width = settings.width, height = settings.height;
    SDL_Rect bounds;
    if (settings.fullscreen && SDL_GetDisplayBounds(std::max(settings.display, 0), &bounds) == 0)
        width = bounds.w, height = bounds.h;
    impl->window = SDL_CreateWindow(settings.title.c_str(), position, position, width, height, flags);
    if (!impl->window) return fail(SDL_GetError());
    impl->fullscreen = settings.fullscreen;
    showPointer(settings.fullscreen);
    impl->glContext = SDL_GL_CreateContext(impl->window);
    if (!impl->glContext) return fail(SDL_GetError());
    if (SDL_GL_MakeCurrent(impl->window, impl->glContext) != 0) return fail(SDL_GetError());

    impl->object.display = eglGetCurrentDisplay();
    impl->object.context = eglGetCurrentContext();
    impl->object.drawable = eglGetCurrentSurface(EGL_DRAW);
    if (impl->object.context == EGL_NO_CONTEXT) return fail("the window's OpenGL context is not an EGL context");
    impl->sharedContext = sharedWindowContext(impl->object.display, impl->object.drawable);
    if (impl->sharedContext != EGL_NO_CONTEXT) {
        impl->object.context = impl->sharedContext;
        impl->object.inShareGroup = true;
    } else {
        NSLog("OpenGL: the window's context shares no textures with the off-screen ones; images are copied to it");
    }
    SDL_GL_GetDrawableSize(impl->window, &impl->object.drawableWidth, &impl->object.drawableHeight);
    // Pace by the display where the driver can; the caller keeps its own
    // clock either way.
    impl->vsync = SDL_GL_SetSwapInterval(1) == 0;
    if (!impl->vsync) SDL_GL_SetSwapInterval(0);
    CGLSetCurrentContext(&impl->object);
    return std::unique_ptr<Window>(new Window(std::move(impl)));
}

Window::Window(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Window::~Window() = default;

CGLContextObj Window::context() { return &impl_->object; }

void Window::drawableSize(int* width, int* height) const {
    SDL_GL_GetDrawableSize(impl_->window, width, height);
    impl_->object.drawableWidth = *width;
    impl_->object.drawableHeight = *height;
}

void Window::present() {
    CGLContextScope current(&impl_->object);
    SDL_GL_SwapWindow(impl_->window);
    if (!impl_->shown) {
        SDL_ShowWindow(impl_->window);
        impl_->shown = true;
    }
}

bool Window::hasVsync() const { return impl_->vsync; }

namespace {

std::string lowerCaseKeyName(SDL_Keycode key) {
    std::string name = SDL_GetKeyName(key);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace

bool Window::waitEvent(int milliseconds, Event* event) {
    SDL_Event e;
    if (!(milliseconds > 0 ? SDL_WaitEventTimeout(&e, milliseconds) : SDL_PollEvent(&e))) return false;
    *event = Event{};
    switch (e.type) {
    case SDL_QUIT:
        event->kind = Event::Kind::Close;
        break;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) event->kind = Event::Kind::Close;
        else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) event->kind = Event::Kind::Resized;
        else if (e.window.event == SDL_WINDOWEVENT_EXPOSED) event->kind = Event::Kind::Exposed;
        break;
    case SDL_KEYUP:
        event->kind = Event::Kind::KeyUp;
        event->keyName = lowerCaseKeyName(e.key.keysym.sym);
        break;
    case SDL_MOUSEMOTION:
        event->kind = Event::Kind::MouseMotion;
        event->x = e.motion.x;
        event->y = e.motion.y;
        SDL_GetWindowSize(impl_->window, &event->width, &event->height);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (e.button.button != SDL_BUTTON_LEFT && e.button.button != SDL_BUTTON_MIDDLE &&
            e.button.button != SDL_BUTTON_RIGHT)
            break;
        event->kind = Event::Kind::MouseButton;
        event->button = e.button.button == SDL_BUTTON_LEFT ? 0 : e.button.button == SDL_BUTTON_MIDDLE ? 1 : 2;
        event->down = e.type == SDL_MOUSEBUTTONDOWN;
        event->x = e.button.x;
        event->y = e.button.y;
        SDL_GetWindowSize(impl_->window, &event->width, &event->height);
        break;
    case SDL_KEYDOWN:
        if (e.key.repeat) break;
        event->kind = Event::Kind::Key;
        event->keyName = lowerCaseKeyName(e.key.keysym.sym);
        event->down = true;
        switch (e.key.keysym.sym) {
        case SDLK_ESCAPE: event->key = Key::Escape; break;
        case SDLK_q: event->key = Key::Q; break;
        case SDLK_SPACE: event->key = Key::Space; break;
        case SDLK_r: event->key = Key::R; break;
        case SDLK_f: event->key = Key::F; break;
        case SDLK_F11: event->key = Key::F11; break;
        default: break;
        }
        break;
    default:
        break;
    }
    return true;
}

void Window::setTitle(const std::string& title) { SDL_SetWindowTitle(impl_->window, title.c_str()); }

void Window::setFullscreen(bool fullscreen) {
    if (SDL_SetWindowFullscreen(impl_->window, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) return;
    impl_->fullscreen = fullscreen;
    showPointer(fullscreen);
}

bool Window::fullscreen() const { return impl_->fullscreen; }
