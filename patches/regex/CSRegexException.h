#pragma once

#include <stdexcept>
#include <string>

// Raised when a pattern does not compile. It is the one exception the bundle
// throws: nothing in the bundle catches it, so it ends the caller's
// evaluation and the host logs it.
class CSRegexException : public std::runtime_error {
public:
    explicit CSRegexException(const std::string& reason) : std::runtime_error(reason) {}
    static constexpr const char* name = "CSRegexException";
    std::string reason() const { return what(); }
};
