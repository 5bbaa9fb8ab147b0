#include "CoreGraphics.h"

#include <cstring>
#include <new>
#include <utility>

CGColorSpaceRef CGColorSpaceCreateDeviceRGB() { return std::make_shared<const CGColorSpace>(); }

void CGColorSpaceRelease(CGColorSpaceRef& space) { space.reset(); }

namespace {

// Four components per pixel, 8-bit integers or 32-bit floats, in rows long
// enough for them.
bool describesBitmap(size_t width, size_t height, size_t bitsPerComponent, size_t bytesPerRow,
                     const CGColorSpaceRef& space, uint32_t bitmapInfo) {
    const bool isFloat = (bitmapInfo & kCGBitmapFloatComponents) != 0;
    return width != 0 && height != 0 && space && bitsPerComponent == (isFloat ? 32u : 8u) &&
           bytesPerRow >= width * 4 * (bitsPerComponent / 8);
}

}  // namespace

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, uint32_t bitmapInfo) {
    if (!describesBitmap(width, height, bitsPerComponent, bytesPerRow, space, bitmapInfo)) return nullptr;
    auto context = std::make_unique<CGContext>();
    if (data == nullptr) {
        try {
            context->ownMemory = PageAlignedBuffer(bytesPerRow * height);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        data = context->ownMemory.data();
    }
    context->data = static_cast<uint8_t*>(data);
    context->width = width;
    context->height = height;
    context->bitsPerComponent = bitsPerComponent;
    context->bytesPerRow = bytesPerRow;
    context->bitmapInfo = bitmapInfo;
    context->colorSpace = std::move(space);
    return context;
}

void CGContextRelease(CGContextRef& context) { context.reset(); }

CGImageRef CGBitmapContextCreateImage(const CGContext* context) {
    if (context == nullptr) return nullptr;
    const size_t bytes = context->bytesPerRow * context->height;
    PageAlignedBuffer pixels;
    try {
        pixels = PageAlignedBuffer(bytes, PageAlignedBuffer::Fill::None);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    std::memcpy(pixels.data(), context->data, bytes);
    return CGImageCreate(context->width, context->height, context->bitsPerComponent, context->bytesPerRow,
                         context->colorSpace, context->bitmapInfo, std::move(pixels));
}

CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bytesPerRow,
                         CGColorSpaceRef space, uint32_t bitmapInfo, PageAlignedBuffer pixels) {
    if (!describesBitmap(width, height, bitsPerComponent, bytesPerRow, space, bitmapInfo)) return nullptr;
    if (pixels.size() / bytesPerRow < height) return nullptr;
    auto image = std::make_shared<CGImage>();
    image->pixels = std::move(pixels);
    image->width = width;
    image->height = height;
    image->bitsPerComponent = bitsPerComponent;
    image->bitsPerPixel = bitsPerComponent * 4;
    image->bytesPerRow = bytesPerRow;
    image->bitmapInfo = bitmapInfo;
    image->colorSpace = std::move(space);
    return image;
}

void CGImageRelease(CGImageRef& image) { image.reset(); }

size_t CGImageGetWidth(const CGImageRef& image) { return image ? image->width : 0; }
size_t CGImageGetHeight(const CGImageRef& image) { return image ? image->height : 0; }
