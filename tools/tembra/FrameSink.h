#pragma once

#include <cstdint>
#include <span>

// One frame as it leaves the session: what was drawn at composition time
// `time`, `clock` seconds into the session (the clock the sound follows),
// with its pixels when some sink asked for them.
struct RenderedFrame {
    long index = 0;
    double time = 0;
    int width = 0, height = 0;
    std::span<const uint8_t> rgba;  // top row first, 4 bytes a pixel; empty when no sink asked for pixels
    double clock = 0;
};

// Where rendered frames go: PNG files, a video file, the window.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // The session reads pixels back only when some sink wants them.
    virtual bool wantsPixels() const { return true; }
    // Throws std::runtime_error with one line naming the file.
    virtual void write(const RenderedFrame& frame) = 0;
    // Every normal end, Ctrl-C and a closed window included; a destructor
    // only frees, so failures that need reporting belong here.
    virtual void finish() {}
};
