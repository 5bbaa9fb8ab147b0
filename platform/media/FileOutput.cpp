#include "platform/media/FileOutput.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

constexpr int kBufferSize = 1 << 16;

std::string folderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

// A name beside `path` that nothing is likely to hold: the creation that
// uses it still fails rather than reuse one that exists.
std::string freshName(const std::string& path) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::string name = path + ".part-";
    for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    return name;
}

int writePacket(void* opaque, uint8_t* data, int size) {
    const int fd = *static_cast<int*>(opaque);
    for (int done = 0; done < size;) {
        const ssize_t wrote = ::write(fd, data + done, static_cast<size_t>(size - done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0) return AVERROR(errno);
        done += static_cast<int>(wrote);
    }
    return size;
}

int64_t seekTo(void* opaque, int64_t offset, int whence) {
    const int fd = *static_cast<int*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat status {};
        return fstat(fd, &status) == 0 ? static_cast<int64_t>(status.st_size) : AVERROR(errno);
    }
    const off_t at = lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

}  // namespace

bool FileOutput::checkTarget(const std::string& path, std::string* error) {
    struct stat status {};
    // Through a link: what matters is what a rename would put aside.
    if (stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode)) return true;
    const char* what = S_ISDIR(status.st_mode)                                ? "a folder"
                       : S_ISFIFO(status.st_mode)                             ? "a FIFO"
                       : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) ? "a device"
                       : S_ISSOCK(status.st_mode)                             ? "a socket"
                                                                               : "not a regular file";
    if (error) *error = "it is " + std::string(what) + ", not a file that a recording can replace";
    return false;
}

std::unique_ptr<FileOutput> FileOutput::create(const std::string& path, std::string* error) {
    const std::string folder = folderOf(path);
    // A file with no name in the folder; it gets one only when complete.
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    std::string temporaryName;
    // Filesystems without unnamed files: a new name, made exclusively.
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
            temporaryName = freshName(path);
            fd = ::open(temporaryName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) break;
        }
    }
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return nullptr;
    }
    auto file = std::unique_ptr<FileOutput>(new FileOutput(path, fd, temporaryName));
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer) file->io_ = avio_alloc_context(buffer, kBufferSize, 1, &file->fd_, nullptr, writePacket, seekTo);
    if (!file->io_) {
        av_free(buffer);
        if (error) *error = "out of memory";
        return nullptr;
    }
    return file;
}

FileOutput::FileOutput(std::string path, int fd, std::string temporaryName)
    : path_(std::move(path)), fd_(fd), temporaryName_(std::move(temporaryName)) {}

FileOutput::~FileOutput() {
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temporaryName_.empty()) ::unlink(temporaryName_.c_str());
}

bool FileOutput::fail(std::string* error, const std::string& what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    if (error) *error = what + ": " + text;
    return false;
}

bool FileOutput::commit(std::string* error) {
    if (committed_) return true;
    avio_flush(io_);
    if (io_->error < 0) return fail(error, "cannot write", io_->error);
    if (fdatasync(fd_) != 0) return fail(error, "cannot write", AVERROR(errno));
    if (temporaryName_.empty()) {
        // Linked under a fresh name first: linking cannot replace a file.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 16 && temporaryName_.empty(); ++attempt) {
            const std::string name = freshName(path_);
            if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) temporaryName_ = name;
            else if (errno != EEXIST) return fail(error, "cannot name the file", AVERROR(errno));
        }
        if (temporaryName_.empty()) return fail(error, "cannot name the file", AVERROR(EEXIST));
    }
    if (::rename(temporaryName_.c_str(), path_.c_str()) != 0) return fail(error, "cannot replace it", AVERROR(errno));
    committed_ = true;
    return true;
}
