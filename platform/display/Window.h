#pragma once

#include "platform/gl/CGL.h"

#include <memory>
#include <string>
#include <vector>

// A window with a desktop OpenGL context (compatibility profile, so
// immediate mode works) and keyboard input, on X11 or Wayland through SDL2.
// The context is an EGL context, handed out as a platform/gl context object,
// so code that switches contexts (an off-screen render in the middle of a
// frame) comes back to the window's. Use from one thread only.
class Window {
public:
    enum class Key { Other, Escape, Q, Space, R, F, F11 };
    struct Event {
        enum class Kind { Close, Key, Resized, Exposed, Other };
        Kind kind = Kind::Other;
        Key key = Key::Other;
    };
    struct Settings {
        int width = 640, height = 480;
        std::string title;
        bool fullscreen = false;  // borderless, over the whole display, without the mouse pointer
        int display = -1;         // SDL's display index; -1: wherever the system puts windows
    };
    struct Display {
        int index = 0;
        std::string name;
        int width = 0, height = 0;  // of its desktop, in pixels
    };

    // False when neither DISPLAY nor WAYLAND_DISPLAY is set.
    static bool displayNamed();
    // The displays windows can go on, by index; false with `error` set to
    // SDL's reason when the display server cannot be reached. Call while no
    // window is open.
    static bool displays(std::vector<Display>* displays, std::string* error);
    // The window, hidden until the first present(), with its context current;
    // nothing with `error` set to SDL's reason when it cannot be had.
    static std::unique_ptr<Window> open(const Settings& settings, std::string* error);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    CGLContextObj context();
    // The size in pixels that drawing covers now (it follows resizing).
    void drawableSize(int* width, int* height) const;
    // Shows what was drawn (and the window, the first time). Waits for the
    // display's refresh where the driver offers that.
    void present();
    bool hasVsync() const;

    // Waits at most `milliseconds` (0: only looks) for an event; false when
    // none came.
    bool waitEvent(int milliseconds, Event* event);
    void setTitle(const std::string& title);
    void setFullscreen(bool fullscreen);
    bool fullscreen() const;

private:
    struct Impl;
    explicit Window(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
