#include "Progress.h"

#include <unistd.h>

#include <cstdio>

Progress::Progress(long total) : total_(isatty(STDERR_FILENO) && total > 1 ? total : 0) {}

void Progress::update(long done, const std::string& detail) {
    if (total_ == 0) return;
    constexpr int width = 40;
    const int filled = static_cast<int>(width * done / total_);
    const char* bar = "########################################";
    // The rest of the line is erased: the detail may have grown shorter.
    std::fprintf(stderr, "\r[%-*.*s] %ld/%ld%s%s\033[K", width, filled, bar, done, total_, detail.empty() ? "" : "  ",
                 detail.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void Progress::clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K");
    shown_ = false;
}

void Progress::finish() {
    if (shown_) std::fprintf(stderr, "\n");
    shown_ = false;
}
