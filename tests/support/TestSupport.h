#pragma once

#include "platform/foundation/NSLog.h"

#include <filesystem>
#include <cstdint>
#include <string>
#include <vector>

// Sends the system log to memory for the life of the object.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::vector<std::string> lines() const { return NSLogCapturedLines(); }
    bool contains(const std::string& line) const;
    size_t count(const std::string& line) const;
    void clear() { NSLogClearCaptured(); }
};

// A fresh folder removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    // Writes `bytes` to `name` inside the folder; returns the full path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path path_;
};

struct CommandResult {
    int status = -1;
    std::string out, err;
};

// Runs a shell command, capturing standard output and standard error.
CommandResult runCommand(const std::string& command);

// The interleaved samples of a stereo WAV file; empty when it cannot be read.
std::vector<float> readStereoWAV(const std::string& path);
// The RGBA pixels of a PNG file, as it stores them; empty, with a test
// failure, when it cannot be read.
std::vector<uint8_t> pngPixels(const std::string& path);

// The tembra program and the bundle of this build.
std::string tembraProgram();
std::string bundlePath();
// The library bundle (Clear, Billboard, ImageFile, the control patches).
std::string libraryBundlePath();
