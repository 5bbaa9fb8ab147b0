#pragma once

#include <functional>
#include <string>
#include <vector>

// The system log: one line per event. Every part of the program writes
// through NSLog; the host chooses where the lines go.

enum class LogDestination { StandardError, Syslog, File, None, Capture };

// printf-style; writes one line (a trailing line feed is added).
void NSLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same for a line that says something went wrong (a patch failed, a
// file cannot be read, a shader does not compile): the log's observer (the
// play window's error line) tells it from the rest.
void NSLogProblem(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where lines go from now on. For File, `path` names the file (appended to);
// returns false with `error` set when the file cannot be opened.
bool NSLogSetDestination(LogDestination destination, const std::string& path = {},
                         std::string* error = nullptr);

// The program name shown in the standard-error prefix and in syslog.
void NSLogSetProgramName(const std::string& name);

// Lines written while the destination is Capture, oldest first.
std::vector<std::string> NSLogCapturedLines();
void NSLogClearCaptured();
