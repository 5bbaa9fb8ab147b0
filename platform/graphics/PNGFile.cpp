#include "PNGFile.h"

#include "platform/foundation/RegularFile.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

void fail(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

CGImageRef CGImageCreateWithPNGFile(const std::string& path, std::string* error) {
    std::string why;
    FileDescriptor opened = openRegularFile(path, &why);
    if (!opened) {
        fail(error, "cannot open " + why);
        return nullptr;
    }
    File file(::fdopen(opened.get(), "rb"));
    if (!file) {
        fail(error, path + ": cannot open: " + std::strerror(errno));
        return nullptr;
    }
    opened.release();  // the stream closes it now
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_stdio(&png, file.get())) {
        fail(error, path + ": not a readable PNG file: " + png.message);
        return nullptr;
    }
    // The size comes from the header alone: a small file can claim a huge
    // picture. Refuse it before a byte of pixels is decoded.
    if (uint64_t{png.width} * png.height > kPNGMaxPixels) {
        png_image_free(&png);
        fail(error, path + ": picture too large (" + std::to_string(png.width) + " x " + std::to_string(png.height) +
                        "); the limit is " + std::to_string(kPNGMaxPixels) + " pixels (16384 x 16384)");
        return nullptr;
    }
    png.format = PNG_FORMAT_RGBA;
    auto image = std::make_shared<CGImage>();
    image->width = png.width;
    image->height = png.height;
    image->bitsPerComponent = 8;
    image->bitsPerPixel = 32;
    image->bytesPerRow = size_t{png.width} * 4;
    image->bitmapInfo = kCGImageAlphaPremultipliedLast;
    image->colorSpace = CGColorSpaceCreateDeviceRGB();
    try {
        image->pixels = PageAlignedBuffer(image->bytesPerRow * image->height,
                                          PageAlignedBuffer::Fill::None);
    } catch (const std::bad_alloc&) {
        png_image_free(&png);
        fail(error, path + ": picture too large (" + std::to_string(png.width) + " x " +
                        std::to_string(png.height) + ")");
        return nullptr;
    }
    if (!png_image_finish_read(&png, nullptr, image->pixels.data(),
                               static_cast<png_int_32>(image->bytesPerRow), nullptr)) {
        fail(error, path + ": damaged PNG data: " + png.message);
        png_image_free(&png);
        return nullptr;
    }
    return image;
}

bool CGImageWriteToPNGFile(const CGImage& image, const std::string& path, std::string* error) {
    if (image.bitsPerComponent != 8 || image.bitsPerPixel != 32) {
        fail(error, path + ": only 8-bit RGBA images can be saved as PNG");
        return false;
    }
    // libpng's simplified writer takes RGBA or ARGB; reorder other layouts.
    const uint32_t alpha = image.bitmapInfo & kCGBitmapAlphaInfoMask;
    const bool alphaFirst = alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaFirst ||
                            alpha == kCGImageAlphaNoneSkipFirst;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = alphaFirst ? PNG_FORMAT_ARGB : PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(),
                                 static_cast<png_int_32>(image.bytesPerRow), nullptr)) {
        fail(error, path + ": cannot write PNG: " + png.message);
        return false;
    }
    return true;
}
