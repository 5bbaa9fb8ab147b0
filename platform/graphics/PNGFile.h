#pragma once

#include "CoreGraphics.h"

#include <cstdint>
#include <string>

// PNG files through libpng. Pixels are RGBA, 8 bits per component, stored
// byte for byte: what is written is read back unchanged.

// The most pixels a PNG file may hold: as many as the largest frame the host
// renders (16384 x 16384, 1 GiB of RGBA). The bound is on the area, not on
// each side, because sound images saved as PNG are 512 wide and many rows
// tall.
constexpr uint64_t kPNGMaxPixels = uint64_t{16384} * 16384;

// The picture in `path` as an RGBA image (premultiplied-last, first row the
// top of the picture), or nothing with `error` naming the file and the fault.
// Only regular files are read; a picture over kPNGMaxPixels is refused
// before it is decoded.
CGImageRef CGImageCreateWithPNGFile(const std::string& path, std::string* error);

// Writes an 8-bit RGBA image. False with `error` set on failure.
bool CGImageWriteToPNGFile(const CGImage& image, const std::string& path, std::string* error);
