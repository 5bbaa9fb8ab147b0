#include "PNGFile.h"

#include "platform/foundation/RegularFile.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
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

// round(c * a / 255) for bytes, exactly.
inline uint8_t multiply(uint32_t c, uint32_t a) {
    const uint32_t t = c * a + 128;
    return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

// PNG files store straight alpha; the host's images are premultiplied.
// In place, so a huge picture needs no second buffer.
void premultiply(uint8_t* pixels, size_t width, size_t height, size_t bytesPerRow) {
    for (size_t y = 0; y < height; ++y) {
        uint8_t* p = pixels + y * bytesPerRow;
        for (size_t x = 0; x < width; ++x, p += 4) {
            const uint32_t a = p[3];
            if (a == 255) continue;
            p[0] = multiply(p[0], a);
            p[1] = multiply(p[1], a);
            p[2] = multiply(p[2], a);
        }
    }
}

// One row of premultiplied RGBA (or ARGB) as straight RGBA.
void unpremultiplyRow(const uint8_t* in, uint8_t* out, size_t width, bool alphaFirst) {
    for (size_t x = 0; x < width; ++x, in += 4, out += 4) {
        const uint32_t a = alphaFirst ? in[0] : in[3];
        const uint8_t* colour = alphaFirst ? in + 1 : in;
        for (int c = 0; c < 3; ++c)
            out[c] = a == 0 ? 0 : static_cast<uint8_t>(std::min<uint32_t>(255, (colour[c] * 255u + a / 2) / a));
        out[3] = static_cast<uint8_t>(a);
    }
}

struct WriteFailure {
    char message[256] = "";
};

void onWriteError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<WriteFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

void onWriteWarning(png_structp, png_const_charp) {}

// Rows of straight RGBA made one at a time from premultiplied pixels. No
// object with a destructor lives between setjmp and the end of the function,
// as libpng's errors jump back to it.
bool writeStraight(FILE* file, const CGImage& image, bool alphaFirst, uint8_t* row, WriteFailure* failure) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, onWriteError, onWriteWarning);
    if (!png) {
        std::snprintf(failure->message, sizeof failure->message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        if (!info) std::snprintf(failure->message, sizeof failure->message, "out of memory");
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (size_t y = 0; y < image.height; ++y) {
        unpremultiplyRow(image.pixels.data() + y * image.bytesPerRow, row, image.width, alphaFirst);
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
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
    const bool hasAlpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
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
    // Decoded straight into the image's own memory: the only copy.
    if (!png_image_finish_read(&png, nullptr, image->pixels.data(),
                               static_cast<png_int_32>(image->bytesPerRow), nullptr)) {
        fail(error, path + ": damaged PNG data: " + png.message);
        png_image_free(&png);
        return nullptr;
    }
    if (hasAlpha) {
        premultiply(image->pixels.data(), image->width, image->height, image->bytesPerRow);
        image->premultipliedFromStraight = true;
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
    const bool premultiplied = alpha == kCGImageAlphaPremultipliedLast || alpha == kCGImageAlphaPremultipliedFirst;
    if (image.premultipliedFromStraight && premultiplied) {
        std::vector<uint8_t> row;
        try {
            row.resize(image.width * 4);
        } catch (const std::bad_alloc&) {
            fail(error, path + ": cannot write PNG: out of memory");
            return false;
        }
        File file(std::fopen(path.c_str(), "wb"));
        if (!file) {
            fail(error, path + ": cannot write PNG: " + std::strerror(errno));
            return false;
        }
        WriteFailure failure;
        const bool written = writeStraight(file.get(), image, alphaFirst, row.data(), &failure);
        const bool closed = std::fclose(file.release()) == 0;
        if (!written || !closed) {
            fail(error, path + ": cannot write PNG: " + (written ? std::strerror(errno) : failure.message));
            std::remove(path.c_str());
            return false;
        }
        return true;
    }
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
