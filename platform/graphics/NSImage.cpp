#include "NSImage.h"

#include <algorithm>
#include <cstring>

NSBitmapImageRep::NSBitmapImageRep(CGImageRef image) : image_(std::move(image)) {}

NSSize NSBitmapImageRep::size() const {
    return {static_cast<double>(pixelsWide()), static_cast<double>(pixelsHigh())};
}

long NSBitmapImageRep::pixelsWide() const { return static_cast<long>(CGImageGetWidth(image_)); }
long NSBitmapImageRep::pixelsHigh() const { return static_cast<long>(CGImageGetHeight(image_)); }

uint32_t NSBitmapImageRep::bitmapFormat() const {
    if (!image_) return 0;
    const uint32_t alpha = image_->bitmapInfo & kCGBitmapAlphaInfoMask;
    uint32_t format = 0;
    if (alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaFirst ||
        alpha == kCGImageAlphaNoneSkipFirst)
        format |= NSAlphaFirstBitmapFormat;
    if (alpha == kCGImageAlphaLast || alpha == kCGImageAlphaFirst)
        format |= NSAlphaNonpremultipliedBitmapFormat;
    if (image_->bitmapInfo & kCGBitmapFloatComponents) format |= NSFloatingPointSamplesBitmapFormat;
    return format;
}

const uint8_t* NSBitmapImageRep::bitmapData() const { return image_ ? image_->pixels.data() : nullptr; }
long NSBitmapImageRep::bytesPerRow() const { return image_ ? static_cast<long>(image_->bytesPerRow) : 0; }
long NSBitmapImageRep::samplesPerPixel() const { return image_ ? 4 : 0; }

std::shared_ptr<const NSBitmapImageRep> NSBitmapImageRep::initWithFocusedViewRect(const NSImage& image,
                                                                                   NSSize size) {
    const auto width = static_cast<size_t>(std::max(0.0, size.width));
    const auto height = static_cast<size_t>(std::max(0.0, size.height));
    CGContextRef context = CGBitmapContextCreate(nullptr, width, height, 8, width * 4,
                                                 CGColorSpaceCreateDeviceRGB(),
                                                 kCGImageAlphaPremultipliedLast);
    if (!context) return nullptr;
    // Draw the first drawable representation at the top left, 8-bit RGBA
    // pictures only; anything else leaves the bitmap transparent.
    for (const auto& rep : image.representations()) {
        const ::CGImage* source = nullptr;
        if (auto* bitmap = dynamic_cast<const NSBitmapImageRep*>(rep.get())) source = bitmap->CGImage().get();
        if (auto* picture = dynamic_cast<const NSCGImageRep*>(rep.get())) source = picture->CGImage().get();
        if (source == nullptr || source->bitsPerComponent != 8) continue;
        const size_t rows = std::min(height, source->height);
        const size_t rowBytes = std::min(width, source->width) * 4;
        for (size_t y = 0; y < rows; ++y)
            std::memcpy(context->data + y * context->bytesPerRow, source->pixels.data() + y * source->bytesPerRow,
                        rowBytes);
        break;
    }
    return std::make_shared<const NSBitmapImageRep>(CGBitmapContextCreateImage(context.get()));
}

NSSize NSCGImageRep::size() const {
    return {static_cast<double>(CGImageGetWidth(image_)), static_cast<double>(CGImageGetHeight(image_))};
}

NSImage::NSImage(std::vector<std::shared_ptr<const NSImageRep>> representations)
    : reps_(std::move(representations)) {}

NSSize NSImage::size() const { return reps_.empty() ? NSSize{} : reps_.front()->size(); }
