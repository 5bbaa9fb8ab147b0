#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <string>

// Appends the records of a take, one JSON object a line, to its file. Lines
// gather in memory and go to the file at least once a second (and at the
// end), each write whole lines only, so that a show that crashes leaves a
// take readable up to its last second.
class TakeWriter {
public:
    // Creates the file. Null, with `error` naming the path and the cause,
    // when it exists already (a take is never written over: it may be the
    // only copy of a set) or cannot be made.
    static std::unique_ptr<TakeWriter> create(const std::string& path, std::string* error);
    ~TakeWriter();
    TakeWriter(const TakeWriter&) = delete;
    TakeWriter& operator=(const TakeWriter&) = delete;

    const std::string& path() const { return path_; }
    // Adds one record; writes what has gathered when a second has passed
    // since the last write.
    void write(const nlohmann::json& record);
    // Writes what has gathered now. False once a write has failed; error()
    // says why (the first failure is the one kept).
    bool flush();
    const std::string& error() const { return error_; }
    // Bytes handed to the file so far.
    uint64_t written() const { return written_; }

private:
    TakeWriter(int fd, std::string path);

    int fd_;
    std::string path_;
    std::string pending_;
    std::string error_;
    uint64_t written_ = 0;
    std::chrono::steady_clock::time_point lastFlush_;
};
