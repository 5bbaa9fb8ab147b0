#include "GLShareGroup.h"

#include "EGLContextObject.h"
#include "EGLDisplayConnection.h"

#include <GL/gl.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace {

struct Root {
    _CGLContextObject object;
    bool made = false;
};

std::mutex rootMutex;  // making the root
Root root;
std::mutex useMutex;   // the root is current on one thread at a time

std::mutex queueMutex;
std::vector<GLuint> queued;
std::atomic<size_t> queuedCount{0};

std::atomic<uint64_t> uploads{0}, readBacks{0}, bytesMoved{0};

}  // namespace

CGLContextObj GLShareGroup::context() {
    const std::lock_guard lock(rootMutex);
    if (!root.made) {
        root.made = true;
        const EGLDisplay display = EGLDisplayConnection::display();
        if (display == EGL_NO_DISPLAY) return nullptr;
        EGLConfig config = nullptr;
        if (!EGLDisplayConnection::hasNoConfigContexts() && !EGLDisplayConnection::chooseConfig(24, &config))
            return nullptr;
        const EGLContext context = EGLDisplayConnection::createContext(config, EGL_NO_CONTEXT);
        if (context == EGL_NO_CONTEXT) return nullptr;
        root.object.display = display;
        root.object.context = context;
        root.object.inShareGroup = true;
    }
    return root.object.context == EGL_NO_CONTEXT ? nullptr : &root.object;
}

bool GLShareGroup::isMember(CGLContextObj context) { return context && context->inShareGroup; }

void GLShareGroup::releaseTexture(GLuint texture) {
    if (texture == 0) return;
    if (currentIsMember()) {
        glDeleteTextures(1, &texture);
        return;
    }
    const std::lock_guard lock(queueMutex);
    queued.push_back(texture);
    queuedCount = queued.size();
}

size_t GLShareGroup::pending() { return queuedCount; }

void GLShareGroup::collect() {
    if (queuedCount == 0) return;
    std::vector<GLuint> names;
    {
        const std::lock_guard lock(queueMutex);
        names.swap(queued);
        queuedCount = 0;
    }
    const Scope scope;
    if (!scope.ok()) return;  // no OpenGL: nothing was ever made
    glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
}

GLShareGroup::Scope::Scope() {
    previous_ = CGLGetCurrentContext();
    if (isMember(previous_)) {
        ok_ = true;
        return;
    }
    const CGLContextObj own = context();
    if (!own) return;
    useMutex.lock();
    locked_ = true;
    ok_ = CGLSetCurrentContext(own) == kCGLNoError;
}

GLShareGroup::Scope::~Scope() {
    if (!locked_) return;
    // Finished before another thread may take the context.
    if (ok_) glFlush();
    CGLSetCurrentContext(previous_);
    if (CGLGetCurrentContext() != previous_) CGLSetCurrentContext(nullptr);
    useMutex.unlock();
}

GLShareGroup::Transfers GLShareGroup::transfers() { return {uploads, readBacks, bytesMoved}; }

void GLShareGroup::countUpload(uint64_t bytes) {
    ++uploads;
    bytesMoved += bytes;
}

void GLShareGroup::countReadBack(uint64_t bytes) {
    ++readBacks;
    bytesMoved += bytes;
}
