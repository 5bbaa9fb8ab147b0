#include "FrameStats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The value below which `fraction` of the sorted frame times fall
// (nearest rank), in milliseconds.
double percentile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) return 0;
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

}  // namespace

std::string FrameStats::line() const {
    std::vector<double> ms;
    ms.reserve(frames_.size());
    for (const auto& frame : frames_) ms.push_back(std::chrono::duration<double, std::milli>(frame).count());
    std::sort(ms.begin(), ms.end());
    const GLShareGroup::Transfers now = GLShareGroup::transfers();
    char text[200];
    std::snprintf(text, sizeof text,
                  "stats: %zu frames, frame median %.2f ms, p99 %.2f ms, %llu uploads, %llu read-backs, %.1f MB moved",
                  ms.size(), percentile(ms, 0.5), percentile(ms, 0.99),
                  static_cast<unsigned long long>(now.uploads - start_.uploads),
                  static_cast<unsigned long long>(now.readBacks - start_.readBacks),
                  static_cast<double>(now.bytes - start_.bytes) / 1e6);
    return text;
}
