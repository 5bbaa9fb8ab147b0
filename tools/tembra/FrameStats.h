#pragma once

#include "platform/gl/GLShareGroup.h"

#include <chrono>
#include <string>
#include <vector>

// What --stats prints at the end of a run: how long frames took and what
// moved between memory and the GPU meanwhile.
class FrameStats {
public:
    FrameStats() : start_(GLShareGroup::transfers()) {}
    void add(std::chrono::steady_clock::duration frame) { frames_.push_back(frame); }
    // "stats: F frames, frame median X ms, p99 Y ms, U uploads, R read-backs, B MB moved"
    std::string line() const;

private:
    std::vector<std::chrono::steady_clock::duration> frames_;
    GLShareGroup::Transfers start_;
};
