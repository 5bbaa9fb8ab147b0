#pragma once

// A file made new beside the name it is to have, written through FFmpeg's
// I/O, and given that name only once it is complete. Private to the media
// layer.
//
// The file is never opened through a name that already exists, so a link
// or a FIFO planted where it is made can neither redirect nor block it.
// Where the filesystem allows, it has no name at all until commit(), so a
// recording cut short by anything, a kill included, leaves nothing behind;
// elsewhere it is a fresh name beside the target, removed unless committed.

#include <cstdint>
#include <memory>
#include <string>

struct AVIOContext;

class FileOutput {
public:
    // Errors say why in words; the caller, who knows what the file is for,
    // names it.

    // Whether `path` may be replaced: it does not exist, or it is a regular
    // file (or a link to one). Otherwise `error` says what it is.
    static bool checkTarget(const std::string& path, std::string* error);
    // Nothing, with `error` set, when no file can be made beside `path`.
    static std::unique_ptr<FileOutput> create(const std::string& path, std::string* error);
    // Without a successful commit(), nothing of the file stays.
    ~FileOutput();
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;

    // What FFmpeg writes through, with seeking (a container's trailer goes
    // back to its header). Owned by this object.
    AVIOContext* io() const { return io_; }
    // Writes out what is buffered, makes it durable, and puts the file in
    // place of `path`. False, with `error` set, when any write failed or the
    // file cannot take its name.
    bool commit(std::string* error);

private:
    FileOutput(std::string path, int fd, std::string temporaryName);
    bool fail(std::string* error, const std::string& what, int code);

    std::string path_;
    int fd_ = -1;
    std::string temporaryName_;  // empty: the file has no name yet
    AVIOContext* io_ = nullptr;
    bool committed_ = false;
};
