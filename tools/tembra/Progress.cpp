#include "Progress.h"

#include <unistd.h>

#include <cstdio>

namespace {

// "1:05" or "2:03:07"
void printDuration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    if (s >= 3600) std::fprintf(stderr, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else std::fprintf(stderr, "%ld:%02ld", s / 60, s % 60);
}

}  // namespace

Progress::Progress(long total) : total_(isatty(STDERR_FILENO) && total > 1 ? total : 0) {}

void Progress::update(long done, const std::string& detail) {
    if (total_ == 0) return;
    constexpr int width = 30;
    const int filled = static_cast<int>(width * done / total_);
    std::fprintf(stderr, "\r[%-*.*s] %ld/%ld", width, filled, "##############################", done, total_);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (done > 0 && elapsed > 0) {
        const double fps = done / elapsed;
        std::fprintf(stderr, "  %.1f fps  ", fps);
        printDuration((total_ - done) / fps);
        std::fprintf(stderr, " left");
    }
    if (!detail.empty()) std::fprintf(stderr, "  %s", detail.c_str());
    // The rest of the line is erased: this one may be shorter than the last.
    std::fprintf(stderr, "\033[K");
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
