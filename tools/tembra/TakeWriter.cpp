#include "TakeWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr auto kFlushInterval = std::chrono::seconds(1);

}  // namespace

std::unique_ptr<TakeWriter> TakeWriter::create(const std::string& path, std::string* error) {
    // O_EXCL: a take already there, or a FIFO or device under that name, is
    // refused rather than written over or blocked on.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int cause = errno;
        if (error)
            *error = "cannot capture to " + path + ": " +
                     (cause == EEXIST ? std::string("it exists already; name a new take") : std::strerror(cause));
        return nullptr;
    }
    return std::unique_ptr<TakeWriter>(new TakeWriter(fd, path));
}

TakeWriter::TakeWriter(int fd, std::string path)
    : fd_(fd), path_(std::move(path)), lastFlush_(std::chrono::steady_clock::now()) {}

TakeWriter::~TakeWriter() {
    flush();
    ::close(fd_);
}

void TakeWriter::write(const nlohmann::json& record) {
    // Invalid UTF-8 (a key name, an OSC string) is replaced, never a throw
    // in the middle of a show.
    pending_ += record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    pending_ += '\n';
    if (std::chrono::steady_clock::now() - lastFlush_ >= kFlushInterval) flush();
}

bool TakeWriter::flush() {
    lastFlush_ = std::chrono::steady_clock::now();
    if (!error_.empty()) {
        pending_.clear();
        return false;
    }
    size_t done = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::write(fd_, pending_.data() + done, pending_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = "cannot write the take " + path_ + ": " + std::strerror(n < 0 ? errno : EIO);
            pending_.clear();
            return false;
        }
        done += static_cast<size_t>(n);
    }
    written_ += done;
    pending_.clear();
    return true;
}
