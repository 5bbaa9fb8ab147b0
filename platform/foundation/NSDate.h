#pragma once

#include <cstdint>
#include <string>

// A moment in time, to the second.
class NSDate {
public:
    static NSDate dateWithTimeIntervalSince1970(int64_t seconds) { return NSDate(seconds); }

    // The moment in UTC: "YYYY-MM-DD HH:MM:SS +0000".
    std::string description() const;

    bool operator==(const NSDate&) const = default;

private:
    explicit NSDate(int64_t seconds) : seconds_(seconds) {}
    int64_t seconds_;
};
