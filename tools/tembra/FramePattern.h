#pragma once

#include <string>

// A file-name pattern with one frame-number field, "%d" or "%0Nd"
// ("out/frame-%04d.png"); "%%" is a literal percent sign.
class FramePattern {
public:
    // Throws std::invalid_argument when the pattern has no frame field, more
    // than one, or another conversion.
    explicit FramePattern(const std::string& pattern);
    std::string format(long frame) const;

private:
    std::string before_, after_;
    int width_ = 0;
};
