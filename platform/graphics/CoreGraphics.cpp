#include "CoreGraphics.h"

#include <cstring>
#include <new>

CGColorSpaceRef CGColorSpaceCreateDeviceRGB() { return std::make_shared<const CGColorSpace>(); }

void CGColorSpaceRelease(CGColorSpaceRef& space) { space.reset(); }

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, uint32_t bitmapInfo) {
    const bool isFloat = (bitmapInfo & kCGBitmapFloatComponents) != 0;
    if (width == 0 || height == 0 || !space) return nullptr;
    if (bitsPerComponent != (isFloat ? 32u : 8u)) return nullptr;
    if (bytesPerRow < width * 4 * (bitsPerComponent / 8)) return nullptr;
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
    auto image = std::make_shared<CGImage>();
    const size_t bytes = context->bytesPerRow * context->height;
    try {
        image->pixels = PageAlignedBuffer(bytes, PageAlignedBuffer::Fill::None);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    std::memcpy(image->pixels.data(), context->data, bytes);
    image->width = context->width;
    image->height = context->height;
    image->bitsPerComponent = context->bitsPerComponent;
    image->bitsPerPixel = context->bitsPerComponent * 4;
    image->bytesPerRow = context->bytesPerRow;
    image->bitmapInfo = context->bitmapInfo;
    image->colorSpace = context->colorSpace;
    return image;
}

void CGImageRelease(CGImageRef& image) { image.reset(); }

size_t CGImageGetWidth(const CGImageRef& image) { return image ? image->width : 0; }
size_t CGImageGetHeight(const CGImageRef& image) { return image ? image->height : 0; }
