#pragma once

#include "tools/tembra/Options.h"

#include <string>
#include <utility>

// Checks --fps; throws UsageError.
void checkFrameRate(double fps);
// "WIDTHxHEIGHT" of --size; throws UsageError.
std::pair<int, int> parseSize(const std::string& text);

// Runs the composition; returns the exit status. Document and runtime
// errors throw (status 1); command-line mistakes throw UsageError.
int runComposition(const RunOptions& options);
