#pragma once

#include "platform/gl/CGL.h"

// Where a session draws its frames: an off-screen buffer or a window. The
// size may change between frames (a resized window).
class RenderSurface {
public:
    virtual ~RenderSurface() = default;
    virtual CGLContextObj context() = 0;
    virtual int width() const = 0;
    virtual int height() const = 0;
};
