#pragma once

#include "tools/tembra/Options.h"

// Checks --fps; throws UsageError.
void checkFrameRate(double fps);

// Runs the composition; returns the exit status. Document and runtime
// errors throw (status 1); command-line mistakes throw UsageError.
int runComposition(const RunOptions& options);
