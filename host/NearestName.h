#pragma once

#include <string>
#include <string_view>
#include <vector>

// The candidate closest to `name` by edit distance (the first of equals), or
// an empty text when there is none; a long name is compared by its start.
std::string nearestName(std::string_view name, const std::vector<std::string_view>& candidates);

// "; did you mean \"inputs\"?" for the nearest candidate, or nothing.
std::string didYouMean(std::string_view name, const std::vector<std::string_view>& candidates);
