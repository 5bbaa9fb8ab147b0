#pragma once

#include "PageAlignedBuffer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Bitmap contexts and images in the manner of CoreGraphics, for RGBA pixel
// memory. A context reads and writes the caller's memory in place; an image
// owns its pixels: a copy made when it is created from a context, or memory
// handed to it.

// Alpha information, the low five bits of a bitmap-info value.
enum : uint32_t {
    kCGImageAlphaNone = 0,
    kCGImageAlphaPremultipliedLast = 1,
    kCGImageAlphaPremultipliedFirst = 2,
    kCGImageAlphaLast = 3,
    kCGImageAlphaFirst = 4,
    kCGImageAlphaNoneSkipLast = 5,
    kCGImageAlphaNoneSkipFirst = 6,
    kCGBitmapAlphaInfoMask = 0x1F,
    kCGBitmapFloatComponents = 1u << 8,
};

struct CGColorSpace {
    int components = 3;  // device RGB
};
using CGColorSpaceRef = std::shared_ptr<const CGColorSpace>;

CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
void CGColorSpaceRelease(CGColorSpaceRef& space);

struct CGContext {
    uint8_t* data = nullptr;
    size_t width = 0, height = 0, bitsPerComponent = 0, bytesPerRow = 0;
    uint32_t bitmapInfo = 0;
    CGColorSpaceRef colorSpace;
    PageAlignedBuffer ownMemory;  // used when the caller passes no memory
};
using CGContextRef = std::unique_ptr<CGContext>;

// Four components per pixel (8-bit integer, or 32-bit float with
// kCGBitmapFloatComponents). Nothing when the arguments do not describe such
// a bitmap (zero size, rows too short, no colour space). A null `data` makes
// the context allocate its own zeroed memory.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, uint32_t bitmapInfo);
void CGContextRelease(CGContextRef& context);

struct CGImage {
    size_t width = 0, height = 0, bitsPerComponent = 0, bitsPerPixel = 0, bytesPerRow = 0;
    uint32_t bitmapInfo = 0;
    CGColorSpaceRef colorSpace;
    PageAlignedBuffer pixels;  // bytesPerRow x height, first row = top of the picture
    // Premultiplied from a file's straight alpha: written back straight.
    // Images the program draws keep their bytes as they are when written.
    bool premultipliedFromStraight = false;
};
using CGImageRef = std::shared_ptr<const CGImage>;

// Copies the context's pixels into a new image; nothing for no context.
CGImageRef CGBitmapContextCreateImage(const CGContext* context);

// An image that takes the pixels handed to it, with no copy (the buffer
// stands in for CoreGraphics' data provider). The same bitmaps as
// CGBitmapContextCreate; nothing when the arguments do not describe one or
// the buffer is too small for it.
CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bytesPerRow,
                         CGColorSpaceRef space, uint32_t bitmapInfo, PageAlignedBuffer pixels);
void CGImageRelease(CGImageRef& image);

size_t CGImageGetWidth(const CGImageRef& image);
size_t CGImageGetHeight(const CGImageRef& image);
