#pragma once

#include "FrameSink.h"
#include "PNGSequenceWriter.h"

// --render and --snapshot: every frame as a PNG file.
class PNGFrameSink : public FrameSink {
public:
    PNGFrameSink(const std::string& pattern, const char* option) : writer_(pattern, option) {}
    void write(const RenderedFrame& frame) override {
        if (frame.rgba.empty()) return;  // nothing drawn (a minimised window)
        writer_.write(frame.index, frame.width, frame.height, frame.rgba);
    }

private:
    PNGSequenceWriter writer_;
};
