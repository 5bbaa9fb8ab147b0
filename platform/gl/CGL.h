#pragma once

// The low-level context object and the thread's current context, in the
// manner of CGL, over EGL. EGL addresses the context that is current on the
// calling thread, so "the thread's current context" here is the EGL one.

// Defined in EGLContextObject.h; code that only passes contexts around needs
// no EGL headers.
struct _CGLContextObject;
using CGLContextObj = _CGLContextObject*;

enum CGLError : int {
    kCGLNoError = 0,
    kCGLBadContext = 10006,
    kCGLBadConnection = 10017,
};

// The context current on this thread, or null.
CGLContextObj CGLGetCurrentContext();
// Makes `context` current on this thread (null: none). Fails when EGL
// refuses, leaving the previous context current.
CGLError CGLSetCurrentContext(CGLContextObj context);

// Makes a context current for the life of the scope and then restores
// whatever was current before, so the caller's context is never disturbed.
class CGLContextScope {
public:
    explicit CGLContextScope(CGLContextObj context);
    ~CGLContextScope();
    CGLContextScope(const CGLContextScope&) = delete;
    CGLContextScope& operator=(const CGLContextScope&) = delete;
    // False when `context` could not be made current; draw nothing then.
    bool ok() const { return ok_; }

private:
    CGLContextObj previous_;
    bool ok_;
};
