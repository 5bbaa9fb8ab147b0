#pragma once

// The host's rendering context, handed to execute(); patches that draw take
// its low-level context.
struct _CGLContextObject;
using CGLContextObj = _CGLContextObject*;

class QCOpenGLContext {
public:
    explicit QCOpenGLContext(::CGLContextObj context) : context_(context) {}
    ::CGLContextObj CGLContextObj() const { return context_; }

private:
    ::CGLContextObj context_;
};
