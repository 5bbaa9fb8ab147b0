#pragma once

#include <optional>
#include <string>

class NSURL;

// Foundation's whole-content readers. Both answer the decoded text, or
// nothing when the content cannot be read or is not valid UTF-8.
constexpr int NSUTF8StringEncoding = 4;

std::optional<std::string> stringWithContentsOfFile(const std::string& path, int encoding);
std::optional<std::string> stringWithContentsOfURL(const NSURL* url, int encoding);
