#include "platform/gl/GLTexturePool.h"

#include "platform/gl/GLShareGroup.h"

GLTexturePool::~GLTexturePool() {
    for (const Entry& entry : kept_) GLShareGroup::releaseTexture(entry.texture);
}

GLuint GLTexturePool::take(int width, int height, bool isFloat) {
    const std::lock_guard lock(mutex_);
    for (auto it = kept_.begin(); it != kept_.end(); ++it)
        if (it->width == width && it->height == height && it->isFloat == isFloat) {
            const GLuint texture = it->texture;
            kept_.erase(it);
            return texture;
        }
    return 0;
}

void GLTexturePool::give(GLuint texture, int width, int height, bool isFloat) {
    if (texture == 0) return;
    {
        const std::lock_guard lock(mutex_);
        if (kept_.size() < kKept) {
            kept_.push_back(Entry{texture, width, height, isFloat});
            return;
        }
    }
    GLShareGroup::releaseTexture(texture);
}
