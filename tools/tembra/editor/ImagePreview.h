#pragma once

#include "platform/graphics/CoreGraphics.h"

#include <cstddef>
#include <string>

// A small picture of `image` for the editor's page: scaled down so that its
// longer side is at most `maxSide` pixels, as a PNG "data:" URL. Empty for
// an image with no pixels or a layout other than 4 components of 8 or 32
// bits.
std::string imagePreviewDataURL(const CGImage& image, size_t maxSide);
