#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Sees every line of the system log as it is written, whatever the
// destination, on the thread that writes it and under the log's lock (so it
// must be quick and must not log), with `problem` true for NSLogProblem's
// lines. Adding returns the token that removes it.
using NSLogObserver = std::function<void(const std::string& line, bool problem)>;
uint64_t NSLogAddObserver(NSLogObserver observer);
void NSLogRemoveObserver(uint64_t token);
