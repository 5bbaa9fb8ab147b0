#pragma once

#include "platform/graphics/CoreGraphics.h"

#include <vector>

// Pictures laid out left to right, top to bottom, `columns` to a row, each
// in a cell the size of the largest picture, composited over black. A
// picture's colour is taken as not multiplied by its alpha, so a transparent
// pixel shows black whatever its colour. The sheet itself is opaque.
CGImageRef makeContactSheet(const std::vector<CGImageRef>& pictures, size_t columns);
