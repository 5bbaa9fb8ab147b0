#pragma once

#include "CoreGraphics.h"

#include <cstdint>
#include <memory>
#include <vector>

// AppKit-style images: an NSImage holds representations, of which a bitmap
// representation gives direct access to pixels.

// Bitmap format flags (0: alpha last, premultiplied, integer samples).
enum : uint32_t {
    NSAlphaFirstBitmapFormat = 1u << 0,
    NSAlphaNonpremultipliedBitmapFormat = 1u << 1,
    NSFloatingPointSamplesBitmapFormat = 1u << 2,
};

struct NSSize {
    double width = 0, height = 0;
};

class NSImageRep {
public:
    virtual ~NSImageRep() = default;
    virtual NSSize size() const = 0;
};

// A bitmap over a CoreGraphics image's pixels; shares them, copies nothing.
class NSBitmapImageRep : public NSImageRep {
public:
    explicit NSBitmapImageRep(CGImageRef image);

    // A bitmap of the rectangle (0, 0, width, height) of the image whose
    // focus is locked: the picture drawn into a new RGBA bitmap.
    static std::shared_ptr<const NSBitmapImageRep> initWithFocusedViewRect(const class NSImage& image,
                                                                           NSSize size);

    NSSize size() const override;
    long pixelsWide() const;
    long pixelsHigh() const;
    uint32_t bitmapFormat() const;
    const uint8_t* bitmapData() const;
    long bytesPerRow() const;
    long samplesPerPixel() const;
    const CGImageRef& CGImage() const { return image_; }

private:
    CGImageRef image_;
};

// A representation that is not a bitmap: a picture that can only be drawn.
class NSCGImageRep : public NSImageRep {
public:
    explicit NSCGImageRep(CGImageRef image) : image_(std::move(image)) {}
    NSSize size() const override;
    const CGImageRef& CGImage() const { return image_; }

private:
    CGImageRef image_;
};

class NSImage {
public:
    explicit NSImage(std::vector<std::shared_ptr<const NSImageRep>> representations);

    const std::vector<std::shared_ptr<const NSImageRep>>& representations() const { return reps_; }
    NSSize size() const;

    // Drawing into the image's focus. Only the first representation that
    // can be drawn is used; unlock does nothing but pair with lock.
    void lockFocus() const {}
    void unlockFocus() const {}

private:
    std::vector<std::shared_ptr<const NSImageRep>> reps_;
};
