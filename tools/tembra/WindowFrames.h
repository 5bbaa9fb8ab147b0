#pragma once

#include "FrameSink.h"
#include "RenderSurface.h"
#include "platform/display/Window.h"

// The window as the place a session draws into...
class WindowSurface : public RenderSurface {
public:
    explicit WindowSurface(Window& window) : window_(window) {}
    CGLContextObj context() override { return window_.context(); }
    int width() const override { return size().first; }
    int height() const override { return size().second; }

private:
    std::pair<int, int> size() const {
        int width = 0, height = 0;
        window_.drawableSize(&width, &height);
        return {width, height};
    }
    Window& window_;
};

// ...and as the sink that shows each drawn frame. It needs no pixels: the
// picture is already in the window's back buffer.
class WindowSink : public FrameSink {
public:
    explicit WindowSink(Window& window) : window_(window) {}
    bool wantsPixels() const override { return false; }
    void write(const RenderedFrame&) override { window_.present(); }

private:
    Window& window_;
};
