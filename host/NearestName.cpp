#include "NearestName.h"

#include <algorithm>

namespace {

size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string nearestName(std::string_view name, const std::vector<std::string_view>& candidates) {
    const std::string_view start = name.substr(0, 64);
    std::string_view nearest;
    size_t best = SIZE_MAX;
    for (const std::string_view candidate : candidates) {
        const size_t distance = editDistance(start, candidate);
        if (distance < best) nearest = candidate, best = distance;
    }
    return std::string(nearest);
}

std::string didYouMean(std::string_view name, const std::vector<std::string_view>& candidates) {
    const std::string nearest = nearestName(name, candidates);
    // A name far from every candidate is no typo of one: no suggestion.
    const size_t limit = std::max<size_t>(3, std::max(name.size(), nearest.size()) / 2);
    if (nearest.empty() || editDistance(name.substr(0, 64), nearest) > limit) return std::string();
    return "; did you mean \"" + nearest + "\"?";
}
