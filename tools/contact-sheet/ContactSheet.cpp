#include "ContactSheet.h"

#include <algorithm>

CGImageRef makeContactSheet(const std::vector<CGImageRef>& pictures, size_t columns) {
    if (pictures.empty() || columns == 0) return nullptr;
    size_t cellWidth = 0, cellHeight = 0;
    for (const CGImageRef& picture : pictures) {
        cellWidth = std::max(cellWidth, picture->width);
        cellHeight = std::max(cellHeight, picture->height);
    }
    columns = std::min(columns, pictures.size());
    const size_t rows = (pictures.size() + columns - 1) / columns;
    CGContextRef sheet = CGBitmapContextCreate(nullptr, cellWidth * columns, cellHeight * rows, 8,
                                               cellWidth * columns * 4, CGColorSpaceCreateDeviceRGB(),
                                               kCGImageAlphaPremultipliedLast);
    if (!sheet) return nullptr;
    // Opaque black everywhere, including cells no picture fills.
    for (size_t i = 3; i < sheet->bytesPerRow * sheet->height; i += 4) sheet->data[i] = 255;
    for (size_t k = 0; k < pictures.size(); ++k) {
        const CGImage& picture = *pictures[k];
        const size_t left = (k % columns) * cellWidth, top = (k / columns) * cellHeight;
        for (size_t y = 0; y < picture.height; ++y) {
            uint8_t* out = sheet->data + (top + y) * sheet->bytesPerRow + left * 4;
            for (size_t x = 0; x < picture.width; ++x, out += 4) {
                const uint8_t* in = picture.pixels.data() + y * picture.bytesPerRow + x * 4;
                for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((in[c] * in[3] + 127) / 255);
            }
        }
    }
    CGImageRef image = CGBitmapContextCreateImage(sheet.get());
    CGContextRelease(sheet);
    return image;
}
