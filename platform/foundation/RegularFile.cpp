#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

const char* describeFileKind(unsigned mode) {
    switch (mode & S_IFMT) {
    case S_IFREG: return "a regular file";
    case S_IFDIR: return "a directory";
    case S_IFIFO: return "a FIFO";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFSOCK: return "a socket";
    case S_IFLNK: return "a symbolic link";
    default: return "not a file";
    }
}

namespace {

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

FileDescriptor openRegularFile(const std::string& path, std::string* error, bool* notRegular) {
    if (notRegular) *notRegular = false;
    if (path.empty()) {
        setError(error, "(empty path): no file named");
        return {};
    }
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file) {
        setError(error, path + ": " + std::strerror(errno));
        return {};
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        setError(error, path + ": " + std::strerror(errno));
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        if (notRegular) *notRegular = true;
        setError(error, path + ": is " + describeFileKind(info.st_mode) + ", not a regular file");
        return {};
    }
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        setError(error, path + ": " + std::strerror(errno));
        return {};
    }
    return file;
}

std::optional<std::string> readRegularFile(const std::string& path, size_t maxBytes, std::string* error,
                                           bool* refused) {
    bool notRegular = false;
    const FileDescriptor file = openRegularFile(path, error, &notRegular);
    if (refused) *refused = notRegular;
    if (!file) return std::nullopt;
    const auto tooLarge = [&] {
        if (refused) *refused = true;
        setError(error, path + ": larger than the limit of " + std::to_string(maxBytes) + " bytes");
        return std::nullopt;
    };

    struct stat info {};
    if (::fstat(file.get(), &info) == 0 && info.st_size > 0 && static_cast<uint64_t>(info.st_size) > maxBytes)
        return tooLarge();
    std::string bytes;
    // The size is a hint only: the file may grow or shrink while it is read.
    if (info.st_size > 0) bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            setError(error, path + ": " + std::strerror(errno));
            return std::nullopt;
        }
        if (static_cast<size_t>(n) > maxBytes - bytes.size()) return tooLarge();
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}
