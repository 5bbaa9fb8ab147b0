#pragma once

#include "host/QCPort.h"

#include <nlohmann/json.hpp>

// A port's value as the editor shows it: numbers, booleans and text as
// themselves, a colour as [r, g, b, a], an image as "image WxH" (null when none), setting ports null.
nlohmann::ordered_json portValueJSON(const QCPort& port);
