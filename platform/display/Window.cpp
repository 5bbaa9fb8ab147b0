#include "platform/display/Window.h"

#include "platform/gl/EGLContextObject.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>

struct Window::Impl {
    SDL_Window* window = nullptr;
    SDL_GLContext glContext = nullptr;
    _CGLContextObject object;
    bool vsync = false;
    bool shown = false;
    bool fullscreen = false;

    ~Impl() {
        // Reverse order of making.
        if (CGLGetCurrentContext() == &object) CGLSetCurrentContext(nullptr);
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
    case SDL_KEYDOWN:
        if (e.key.repeat) break;
        event->kind = Event::Kind::Key;
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
