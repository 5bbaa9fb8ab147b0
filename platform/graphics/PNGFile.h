#pragma once

#include "CoreGraphics.h"

#include <cstdint>
#include <string>

// PNG files through libpng. Pixels are RGBA, 8 bits per component. Files
// hold straight alpha and the host's images premultiplied alpha: a picture
// read is premultiplied, and written back straight, so saving a picture that
// was read gives the file's pixels back (exactly where alpha is 255, within
// the rounding of premultiplication elsewhere). Images the program draws are
// written as they are.

// The most pixels a PNG file may hold: as many as the largest frame the host
// renders (16384 x 16384, 1 GiB of RGBA). The bound is on the area, not on
// each side, because sound images saved as PNG are 512 wide and many rows
// tall.
constexpr uint64_t kPNGMaxPixels = uint64_t{16384} * 16384;

// The picture in `path` as an RGBA image (premultiplied-last, first row the
// top of the picture), or nothing with `error` naming the file and the fault.
// Only regular files are read; a picture over kPNGMaxPixels is refused
// before it is decoded, and the pixels are decoded into the image's own
// memory, with no other copy.
CGImageRef CGImageCreateWithPNGFile(const std::string& path, std::string* error);

// Writes an 8-bit RGBA image; one that was read from a file goes back
// unpremultiplied. False with `error` set on failure.
bool CGImageWriteToPNGFile(const CGImage& image, const std::string& path, std::string* error);
