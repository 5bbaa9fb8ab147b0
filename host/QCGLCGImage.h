#pragma once

#include "platform/graphics/CoreGraphics.h"
#include "platform/graphics/NSImage.h"

#include <functional>
#include <memory>
#include <mutex>

using GLuint = unsigned int;

// The host's image value: immutable, holding pixels in memory, a texture in
// the process's OpenGL share group, or both. The other form is made the
// first time it is asked for, once per image object, and counted
// (GLShareGroup::transfers): pixels are uploaded the first time something
// draws the image, a texture is read back the first time something reads
// its pixels. Both are premultiplied RGBA.
//
// Textures are GL_TEXTURE_2D; `textureTopFirst` says whether the texture's
// first row is the top of the picture (an uploaded image) or its bottom (a
// picture OpenGL rendered). The texture is deleted where a context of the
// share group can delete it (see GLShareGroup::releaseTexture).
class QCGLCGImage {
public:
    // `options` is accepted for the host's signature; no option is read.
    QCGLCGImage(CGImageRef image, const void* options);
    // An image over `texture` (owned from now on) of the given size,
    // rendered by OpenGL (first row at the bottom); `isFloat`: 32-bit float
    // components. Null for no texture or an empty size. `release`, when
    // given, takes the texture back when the image goes (on any thread)
    // instead of its being deleted.
    static std::shared_ptr<const QCGLCGImage> imageWithTexture(GLuint texture, size_t width, size_t height,
                                                               bool isFloat = false,
                                                               std::function<void(GLuint)> release = {});
    ~QCGLCGImage();
    QCGLCGImage(const QCGLCGImage&) = delete;
    QCGLCGImage& operator=(const QCGLCGImage&) = delete;

    // The pixels, first row = top; read back from the texture the first
    // time (null when that is impossible: no OpenGL).
    const CGImageRef& CGImage() const;
    size_t pixelsWide() const { return width_; }
    size_t pixelsHigh() const { return height_; }
    bool isFloat() const { return isFloat_; }

    // The texture, uploaded from the pixels the first time; 0 when no
    // context of the share group is current or the pixels have a layout
    // OpenGL cannot take.
    GLuint textureName() const;
    bool textureTopFirst() const { return textureTopFirst_; }
    // Which forms the image holds now (for tests and statistics).
    bool hasTexture() const;
    bool hasPixels() const;

    // The same picture as an AppKit image with one bitmap representation
    // over these pixels; the same object every time (nothing when the image
    // is empty).
    std::shared_ptr<const ::NSImage> NSImage() const;

private:
    QCGLCGImage() = default;
    void readBack() const;  // under mutex_

    mutable std::mutex mutex_;
    mutable CGImageRef image_;
    mutable std::shared_ptr<const ::NSImage> nsImage_;
    mutable GLuint texture_ = 0;
    std::function<void(GLuint)> release_;
    mutable bool triedReadBack_ = false;
    size_t width_ = 0, height_ = 0;
    bool isFloat_ = false;
    bool textureTopFirst_ = true;
};
