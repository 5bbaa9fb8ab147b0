#include "tools/tembra/editor/ImagePreview.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

std::string base64(const std::vector<uint8_t>& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t n = (uint32_t{bytes[i]} << 16) | (i + 1 < bytes.size() ? uint32_t{bytes[i + 1]} << 8 : 0) |
                           (i + 2 < bytes.size() ? uint32_t{bytes[i + 2]} : 0);
        out += digits[(n >> 18) & 63];
        out += digits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return out;
}

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

// One pixel as 8-bit RGBA, whatever the image's component size.
void pixelAt(const CGImage& image, size_t x, size_t y, uint8_t* rgba) {
    const uint8_t* row = image.pixels.data() + y * image.bytesPerRow;
    if (image.bitsPerComponent == 8) {
        std::memcpy(rgba, row + x * 4, 4);
        return;
    }
    float components[4];
    std::memcpy(components, row + x * 16, sizeof components);
    for (int c = 0; c < 4; ++c)
        rgba[c] = static_cast<uint8_t>(std::lround(std::clamp(components[c], 0.0f, 1.0f) * 255.0f));
}

// False when libpng gives up (it jumps back here).
bool encodePNG(const std::vector<uint8_t>& pixels, const size_t width, const size_t height,
               std::vector<uint8_t>* encoded) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, encoded, appendBytes, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    for (size_t y = 0; y < height; ++y) png_write_row(png, &pixels[y * width * 4]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::string imagePreviewDataURL(const CGImage& image, size_t maxSide) {
    if (image.width == 0 || image.height == 0 || maxSide == 0) return {};
    if (!((image.bitsPerComponent == 8 && image.bitsPerPixel == 32) ||
          (image.bitsPerComponent == 32 && image.bitsPerPixel == 128)))
        return {};
    if (image.pixels.size() < image.bytesPerRow * image.height) return {};
    const double scale = std::min(1.0, static_cast<double>(maxSide) / static_cast<double>(std::max(image.width, image.height)));
    const size_t width = std::max<size_t>(1, static_cast<size_t>(static_cast<double>(image.width) * scale));
    const size_t height = std::max<size_t>(1, static_cast<size_t>(static_cast<double>(image.height) * scale));
    // Nearest pixels: a preview is a glance, not a copy.
    std::vector<uint8_t> pixels(width * height * 4);
    for (size_t y = 0; y < height; ++y)
        for (size_t x = 0; x < width; ++x)
            pixelAt(image, x * image.width / width, y * image.height / height, &pixels[(y * width + x) * 4]);

    std::vector<uint8_t> encoded;
    if (!encodePNG(pixels, width, height, &encoded)) return {};
    return "data:image/png;base64," + base64(encoded);
}
