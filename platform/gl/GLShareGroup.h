#pragma once

#include "CGL.h"

#include <cstddef>
#include <cstdint>

using GLuint = unsigned int;

// The one OpenGL share group of the process. Every context the host makes
// (off-screen surfaces, renderers, the window's) shares its textures with
// the group's own surfaceless context, so an image made on the GPU can be
// drawn in any of them without a copy through memory.
//
// Threads: textures are made, drawn and deleted only where a context of the
// group is current. A texture released on any other thread (an audio or
// MIDI callback dropping the last reference to an image) waits in a queue
// until collect() runs on a thread with a context of the group.
class GLShareGroup {
public:
    // The group's own context; null when the process has no OpenGL.
    static CGLContextObj context();
    // True when `context` shares the group's textures.
    static bool isMember(CGLContextObj context);
    // True when the calling thread's current context is of the group.
    static bool currentIsMember() { return isMember(CGLGetCurrentContext()); }

    // Deletes `texture` at once when a context of the group is current,
    // otherwise queues it for collect(). Never blocks for long.
    static void releaseTexture(GLuint texture);
    // Deletes the queued textures; makes the group's context current for
    // that when no context of the group is.
    static void collect();
    // Textures queued and not yet deleted.
    static size_t pending();

    // Makes a context of the group current on this thread for the life of
    // the scope: the one already current if it is of the group, otherwise
    // the group's own (only one thread uses that at a time; others wait).
    class Scope {
    public:
        Scope();
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        bool ok() const { return ok_; }

    private:
        bool locked_ = false;
        bool ok_ = false;
        CGLContextObj previous_ = nullptr;
    };

    // What moved between memory and the GPU since the process started.
    struct Transfers {
        uint64_t uploads = 0, readBacks = 0, bytes = 0;
    };
    static Transfers transfers();
    static void countUpload(uint64_t bytes);
    static void countReadBack(uint64_t bytes);
};
