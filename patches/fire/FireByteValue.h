#pragma once

#include <cstdint>

// The byte that shows a field value in an image: v x 255 in single
// precision, truncated toward zero and held to 0..255. Values below zero and
// NaN give 0 (a slightly negative field must not wrap round to near white);
// 256 and more, however large, give 255.
inline int32_t fireByteLevel(float v) {
    float p = v * 255.0f;
    p = p > 0.0f ? p : 0.0f;  // also takes NaN to 0
    p = p < 255.0f ? p : 255.0f;
    return static_cast<int32_t>(p);
}
inline uint8_t fireByteValue(float v) { return static_cast<uint8_t>(fireByteLevel(v)); }

// Opacity of the visible image: 255 minus the oxygen's byte, so full oxygen
// is transparent and exhausted oxygen opaque; oxygen above 1 stays
// transparent and below 0 stays opaque.
inline int32_t fireVisibleAlpha(float oxygen) { return 255 - fireByteLevel(oxygen); }
