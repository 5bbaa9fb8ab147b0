#include "QCGLCGImage.h"

#include "platform/gl/GLShareGroup.h"

#include <GL/gl.h>

#include <algorithm>
#include <new>

QCGLCGImage::QCGLCGImage(CGImageRef image, const void* /*options*/) : image_(std::move(image)) {
    width_ = CGImageGetWidth(image_);
    height_ = CGImageGetHeight(image_);
    isFloat_ = image_ && (image_->bitmapInfo & kCGBitmapFloatComponents) != 0;
}

std::shared_ptr<const QCGLCGImage> QCGLCGImage::imageWithTexture(GLuint texture, size_t width, size_t height,
                                                                 bool isFloat, std::function<void(GLuint)> release) {
    if (texture == 0 || width == 0 || height == 0) {
        if (release) release(texture);
        else GLShareGroup::releaseTexture(texture);
        return nullptr;
    }
    std::shared_ptr<QCGLCGImage> image(new QCGLCGImage());
    image->texture_ = texture;
    image->width_ = width;
    image->height_ = height;
    image->isFloat_ = isFloat;
    image->textureTopFirst_ = false;
    image->release_ = std::move(release);
    return image;
}

QCGLCGImage::~QCGLCGImage() {
    if (release_ && texture_) release_(texture_);
    else GLShareGroup::releaseTexture(texture_);
}

bool QCGLCGImage::hasTexture() const {
    const std::lock_guard lock(mutex_);
    return texture_ != 0;
}

bool QCGLCGImage::hasPixels() const {
    const std::lock_guard lock(mutex_);
    return image_ != nullptr;
}

const CGImageRef& QCGLCGImage::CGImage() const {
    const std::lock_guard lock(mutex_);
    if (!image_ && texture_ && !triedReadBack_) readBack();
    return image_;
}

void QCGLCGImage::readBack() const {
    triedReadBack_ = true;
    const GLShareGroup::Scope scope;
    if (!scope.ok()) return;
    const size_t bytesPerPixel = isFloat_ ? 16 : 4;
    const size_t rowBytes = width_ * bytesPerPixel;
    PageAlignedBuffer pixels;
    try {
        pixels = PageAlignedBuffer(rowBytes * height_, PageAlignedBuffer::Fill::None);
    } catch (const std::bad_alloc&) {
        return;
    }
    glBindTexture(GL_TEXTURE_2D, texture_);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, isFloat_ ? GL_FLOAT : GL_UNSIGNED_BYTE, pixels.data());
    glPopClientAttrib();
    glBindTexture(GL_TEXTURE_2D, 0);
    // The image's first row is its top.
    if (!textureTopFirst_) {
        uint8_t* data = pixels.data();
        for (size_t top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom)
            std::swap_ranges(data + top * rowBytes, data + (top + 1) * rowBytes, data + bottom * rowBytes);
    }
    GLShareGroup::countReadBack(rowBytes * height_);
    image_ = CGImageCreate(width_, height_, isFloat_ ? 32 : 8, rowBytes, CGColorSpaceCreateDeviceRGB(),
                           static_cast<uint32_t>(kCGImageAlphaPremultipliedLast) | (isFloat_ ? uint32_t{kCGBitmapFloatComponents} : 0u),
                           std::move(pixels));
}

GLuint QCGLCGImage::textureName() const {
    if (!GLShareGroup::currentIsMember()) return 0;
    const std::lock_guard lock(mutex_);
    if (texture_ || !image_) return texture_;
    const ::CGImage& image = *image_;
    const bool isFloat = (image.bitmapInfo & kCGBitmapFloatComponents) != 0;
    const size_t bytesPerPixel = isFloat ? 16 : 4;
    if (image.bitsPerPixel != bytesPerPixel * 8 || image.bytesPerRow % bytesPerPixel != 0) return 0;
    const uint32_t alpha = image.bitmapInfo & kCGBitmapAlphaInfoMask;
    // Images without alpha keep a fourth byte that means nothing.
    const bool opaque = alpha == kCGImageAlphaNone || alpha == kCGImageAlphaNoneSkipLast;
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(image.bytesPerRow / bytesPerPixel));
    glTexImage2D(GL_TEXTURE_2D, 0, opaque ? GL_RGB8 : (isFloat ? GL_RGBA32F_ARB : GL_RGBA8),
                 static_cast<GLsizei>(image.width), static_cast<GLsizei>(image.height), 0, GL_RGBA,
                 isFloat ? GL_FLOAT : GL_UNSIGNED_BYTE, image.pixels.data());
    glPopClientAttrib();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    GLShareGroup::countUpload(image.bytesPerRow * image.height);
    return texture_;
}

std::shared_ptr<const ::NSImage> QCGLCGImage::NSImage() const {
    const CGImageRef& pixels = CGImage();
    const std::lock_guard lock(mutex_);
    if (!nsImage_ && pixels) {
        auto bitmap = std::make_shared<const NSBitmapImageRep>(pixels);
        nsImage_ = std::make_shared<const ::NSImage>(std::vector<std::shared_ptr<const NSImageRep>>{bitmap});
    }
    return nsImage_;
}
