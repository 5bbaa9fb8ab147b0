#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

using GLuint = unsigned int;

// Textures that images handed back when they went, kept to be rendered into
// again: a renderer that makes a new output texture every frame (images
// never change once handed out) would otherwise have the driver allocate,
// and with llvmpipe zero, a whole new buffer per frame. Shared by the
// renderer and the images it made, so it lives as long as either.
class GLTexturePool {
public:
    static std::shared_ptr<GLTexturePool> create() { return std::shared_ptr<GLTexturePool>(new GLTexturePool()); }
    ~GLTexturePool();
    GLTexturePool(const GLTexturePool&) = delete;
    GLTexturePool& operator=(const GLTexturePool&) = delete;

    // A texture handed back of this size and format, or 0. On a thread
    // whose context is of the share group.
    GLuint take(int width, int height, bool isFloat);
    // From any thread: kept for take(), or released when the pool is full.
    void give(GLuint texture, int width, int height, bool isFloat);

private:
    GLTexturePool() = default;
    struct Entry {
        GLuint texture;
        int width, height;
        bool isFloat;
    };
    // A few frames' worth: images held by a recording queue are not waited for.
    static constexpr size_t kKept = 4;
    std::mutex mutex_;
    std::vector<Entry> kept_;
};
