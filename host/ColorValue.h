#pragma once

#include "QCValues.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// Colours as people write them: [r, g, b, a] or [r, g, b] (alpha 1) of finite
// numbers, and "#rrggbb" or "#rrggbbaa" (what a browser's colour picker
// gives). Nothing when the value is none of those.
std::optional<QCColor> colorFromJSON(const nlohmann::ordered_json& value);

// On a command line: "0.1,0.2,0.3" or "0.1,0.2,0.3,1", or "#ff8800".
std::optional<QCColor> colorFromText(const std::string& text);

// [r, g, b, a], as documents write it.
inline nlohmann::ordered_json colorJSON(const QCColor& c) { return {c.red, c.green, c.blue, c.alpha}; }

// What is expected, for messages.
inline constexpr const char* colorFormats = "a colour as [r, g, b, a], [r, g, b] or \"#rrggbb\"";

// Rec. 709 luminance of the colour's red, green and blue.
double colorLuminance(const QCColor& color);

// Opaque grey of the given level.
inline QCColor greyColor(double level) { return {level, level, level, 1}; }
