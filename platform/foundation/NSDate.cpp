#include "NSDate.h"

#include <cstdio>
#include <ctime>

std::string NSDate::description() const {
    const auto moment = static_cast<std::time_t>(seconds_);
    std::tm utc{};
    if (!gmtime_r(&moment, &utc)) return "0000-00-00 00:00:00 +0000";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d +0000", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}
