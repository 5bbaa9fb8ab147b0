#pragma once

#include <string>

// Tells when a file has been saved: watches its folder with inotify, since
// editors often write a new file and rename it over the old one.
class FileWatch {
public:
    // Watches nothing (and says so in the log) when inotify refuses.
    explicit FileWatch(const std::string& path);
    ~FileWatch();
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // True when the file was written or replaced since the last call. Never
    // waits.
    bool saved();

private:
    int fd_ = -1;
    std::string name_;
};
