#pragma once

#include <functional>
#include <string>

// Sees every line of the system log as it is written, whatever the
// destination, on the thread that writes it and under the log's lock (so it
// must be quick and must not log), with `problem` true for NSLogProblem's
// lines. An empty function removes it; the one set last is the one called.
using NSLogObserver = std::function<void(const std::string& line, bool problem)>;
void NSLogSetObserver(NSLogObserver observer);
