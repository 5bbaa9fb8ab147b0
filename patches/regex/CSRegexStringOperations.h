#pragma once

#include "host/QCValues.h"

#include <optional>
#include <string>
#include <vector>

// Regular-expression questions put on a string (the subject). Each call
// compiles its pattern anew; a bad pattern throws CSRegexException.

// True when `pattern` matches anywhere in `subject`.
bool matchedByPattern(const std::string& subject, const std::string& pattern, int options = 0);
// The matched text, or null.
StringRef substringMatchedByPattern(const std::string& subject, const std::string& pattern, int options = 0);
// Whole match then one entry per group (CSRegex::null() for a group that
// took no part), or nothing when there is no match.
std::optional<std::vector<StringRef>> substringsCapturedByPattern(const std::string& subject,
                                                                  const std::string& pattern, int options = 0);
// `subject` with a backslash before each of ^ . [ $ ( ) | * + ? { and \.
StringRef escapedPattern(const std::string& subject);
