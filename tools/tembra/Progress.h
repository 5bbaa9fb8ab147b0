#pragma once

#include <chrono>
#include <string>

// A one-line progress bar on standard error, shown only when standard error
// is a terminal and the number of frames is known: frames done, frames per
// second and the time left at that rate.
class Progress {
public:
    explicit Progress(long total);
    // `detail` follows the rate ("120 frames, 3.4 MB").
    void update(long done, const std::string& detail = {});
    // Erases the bar so that a line can be printed.
    void clear();
    void finish();

private:
    long total_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
