#pragma once

#include <cstddef>
#include <optional>
#include <string>

// Reading files that a user names. A FIFO, a device or a socket would block
// the reader or never end, so only regular files are read: the file is
// opened without blocking, the opened descriptor is checked, and anything
// else is refused with a one-line reason naming the path and what it is.

// An open descriptor, closed when the object goes.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int get() const { return fd_; }
    int release();
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// "a FIFO", "a character device", "a directory", ... for a st_mode value.
const char* describeFileKind(unsigned mode);

// The file at `path`, opened for reading (blocking reads, close-on-exec)
// only when it is a regular file. Otherwise an empty descriptor and `error`
// set to one line: "PATH: is a FIFO, not a regular file", or the system's
// reason ("PATH: No such file or directory"). `notRegular`, when given, tells
// a refusal of the file's kind from a file that could not be opened at all.
FileDescriptor openRegularFile(const std::string& path, std::string* error, bool* notRegular = nullptr);

// The whole content of the regular file at `path`, at most `maxBytes` of it.
// Nothing, with `error` set to one line, for a file that cannot be opened,
// is not a regular file, cannot be read or is larger than `maxBytes`
// ("PATH: larger than the limit of N bytes"). `refused`, when given, is set
// when the file was turned away for its kind or size rather than missing or
// unreadable.
std::optional<std::string> readRegularFile(const std::string& path, size_t maxBytes, std::string* error,
                                           bool* refused = nullptr);
