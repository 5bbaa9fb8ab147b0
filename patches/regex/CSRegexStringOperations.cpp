#include "CSRegexStringOperations.h"

#include "CSRegex.h"

#include <cstring>

bool matchedByPattern(const std::string& subject, const std::string& pattern, int options) {
    return CSRegex::regexWithPattern(pattern, options | REG_NOSUB)->matchesString(subject);
}

StringRef substringMatchedByPattern(const std::string& subject, const std::string& pattern, int options) {
    return CSRegex::regexWithPattern(pattern, options)->matchedSubstringOfString(subject);
}

std::optional<std::vector<StringRef>> substringsCapturedByPattern(const std::string& subject,
                                                                  const std::string& pattern, int options) {
    return CSRegex::regexWithPattern(pattern, options)->capturedSubstringsOfString(subject);
}

StringRef escapedPattern(const std::string& subject) {
    // Every syntax character is ASCII, and no byte of a multi-byte UTF-8
    // sequence is, so walking bytes escapes exactly what walking characters would.
    static constexpr char syntax[] = "^.[$()|*+?{\\";
    std::string escaped;
    escaped.reserve(subject.size() * 2);
    for (const char c : subject) {
        if (c != '\0' && std::strchr(syntax, c)) escaped.push_back('\\');
        escaped.push_back(c);
    }
    return newString(std::move(escaped));
}
