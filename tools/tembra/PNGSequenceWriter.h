#pragma once

#include "FramePattern.h"
#include "platform/graphics/CoreGraphics.h"

#include <cstdint>
#include <span>
#include <string>

// Writes one PNG file per frame, named by a frame pattern, creating the
// folder as needed: what --render and --save have in common.
class PNGSequenceWriter {
public:
    // `option` names the command-line option in errors. Throws UsageError
    // for a pattern without exactly one frame field.
    PNGSequenceWriter(const std::string& pattern, const char* option);

    // Throws std::runtime_error naming the file when it cannot be written.
    void write(long index, const CGImage& image) const;
    // RGBA pixels, top row first, no padding between rows.
    void write(long index, int width, int height, std::span<const uint8_t> rgba);

private:
    FramePattern pattern_;
    CGImage frame_;  // reused from frame to frame
};
