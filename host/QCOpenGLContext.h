#pragma once

// The host's rendering context, handed to execute(); patches that draw take
// its low-level context.
#include "platform/gl/CGL.h"

class QCOpenGLContext {
public:
    explicit QCOpenGLContext(::CGLContextObj context) : context_(context) {}
    ::CGLContextObj CGLContextObj() const { return context_; }

private:
    ::CGLContextObj context_;
};
