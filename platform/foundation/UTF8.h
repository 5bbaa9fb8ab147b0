#pragma once

#include <string>
#include <string_view>

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUTF8(std::string_view bytes);

// Decodes `bytes` as UTF-8, replacing each ill-formed sequence with U+FFFD.
std::string decodeUTF8Lossy(std::string_view bytes);
