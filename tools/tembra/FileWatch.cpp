#include "FileWatch.h"

#include "platform/foundation/NSLog.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

FileWatch::FileWatch(const std::string& path) : name_(std::filesystem::path(path).filename().string()) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    const std::string folder = (parent.empty() ? std::filesystem::path(".") : parent).string();
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0 && inotify_add_watch(fd_, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO) >= 0) return;
    NSLog("cannot watch %s for changes: %s; press R to reload", folder.c_str(), std::strerror(errno));
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

FileWatch::~FileWatch() {
    if (fd_ >= 0) close(fd_);
}

bool FileWatch::saved() {
    if (fd_ < 0) return false;
    bool saved = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = read(fd_, buffer, sizeof buffer);
        if (length <= 0) break;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && name_ == event->name) saved = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return saved;
}
