#pragma once

#include "platform/graphics/CoreGraphics.h"
#include "platform/graphics/NSImage.h"

#include <memory>

// The host's image value. Keeps its own reference to the CoreGraphics image
// it was made from, so the maker may release that image at once.
class QCGLCGImage {
public:
    // `options` is accepted for the host's signature; no option is read.
    QCGLCGImage(CGImageRef image, const void* options);

    const CGImageRef& CGImage() const { return image_; }
    size_t pixelsWide() const { return CGImageGetWidth(image_); }
    size_t pixelsHigh() const { return CGImageGetHeight(image_); }

    // The same picture as an AppKit image with one bitmap representation
    // over these pixels; the same object every time (nothing when the image
    // is empty).
    std::shared_ptr<const ::NSImage> NSImage() const { return nsImage_; }

private:
    CGImageRef image_;
    std::shared_ptr<const ::NSImage> nsImage_;
};
