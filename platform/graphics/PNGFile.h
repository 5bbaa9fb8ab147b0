#pragma once

#include "CoreGraphics.h"

#include <string>

// PNG files through libpng. Pixels are RGBA, 8 bits per component, stored
// byte for byte: what is written is read back unchanged.

// The picture in `path` as an RGBA image (premultiplied-last, first row the
// top of the picture), or nothing with `error` naming the file and the fault.
CGImageRef CGImageCreateWithPNGFile(const std::string& path, std::string* error);

// Writes an 8-bit RGBA image. False with `error` set on failure.
bool CGImageWriteToPNGFile(const CGImage& image, const std::string& path, std::string* error);
