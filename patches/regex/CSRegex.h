#pragma once

#include "host/QCValues.h"

#include <regex.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// One compiled POSIX extended regular expression. Subjects are matched as
// their UTF-8 bytes; offsets are byte offsets and every piece handed back is
// decoded from those bytes (ill-formed sequences become U+FFFD).
class CSRegex {
public:
    // Compiles `pattern` with `options` | REG_EXTENDED; throws
    // CSRegexException when it does not compile.
    CSRegex(const std::string& pattern, int options);
    ~CSRegex();
    CSRegex(const CSRegex&) = delete;
    CSRegex& operator=(const CSRegex&) = delete;

    static std::unique_ptr<CSRegex> regexWithPattern(const std::string& pattern, int options = 0);

    // The process-wide empty marker put in the slot of a group that took no
    // part in a match; an empty capture is a different object.
    static const StringRef& null();

    bool matchesString(const std::string& string) const;
    // The matched text, or null when there is no match.
    StringRef matchedSubstringOfString(const std::string& string) const;
    // Whole match then one entry per group, or nothing when there is no match.
    std::optional<std::vector<StringRef>> capturedSubstringsOfString(const std::string& string) const;

private:
    regex_t preg;
};
