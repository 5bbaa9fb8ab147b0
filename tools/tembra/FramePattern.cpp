#include "FramePattern.h"

#include <cstdio>
#include <stdexcept>

FramePattern::FramePattern(const std::string& pattern) {
    bool found = false;
    std::string* out = &before_;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            *out += pattern[i];
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            *out += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        int width = 0;
        if (j < pattern.size() && pattern[j] == '0') {
            ++j;
            while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9' && width < 10)
                width = width * 10 + (pattern[j++] - '0');
        }
        if (j >= pattern.size() || pattern[j] != 'd' || found)
            throw std::invalid_argument("pattern \"" + pattern + "\" needs exactly one frame field, %d or %0Nd");
        found = true;
        width_ = width;
        out = &after_;
        i = j;
    }
    if (!found) throw std::invalid_argument("pattern \"" + pattern + "\" needs exactly one frame field, %d or %0Nd");
}

std::string FramePattern::format(long frame) const {
    char number[32];
    std::snprintf(number, sizeof number, "%0*ld", width_, frame);
    return before_ + number + after_;
}
