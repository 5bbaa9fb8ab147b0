#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

// A private X server (Xvfb) on a display number it picks itself, for the
// life of the object. `ok()` is false, with `error()` saying why, when it
// did not come up within the time limit.
class XServer {
public:
    // `screen`: Xvfb's WIDTHxHEIGHTxDEPTH.
    explicit XServer(const std::string& screen = "1024x768x24");
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    bool ok() const { return !display_.empty(); }
    const std::string& error() const { return error_; }
    // ":N"
    const std::string& display() const { return display_; }
    // "env DISPLAY=:N ASAN_OPTIONS=... " to put before a command. Leak checks
    // are off for what runs on the display: at exit SDL unloads the X11
    // libraries it opened, and what they keep for the life of the process
    // can then no longer be told apart from the program's own memory.
    std::string environment() const;

private:
    pid_t pid_ = -1;
    std::string display_, error_;
};

// A shell command running in the background with its output in files;
// interrupted (SIGINT) and waited for when the object goes.
class BackgroundCommand {
public:
    BackgroundCommand(const std::string& command, const std::string& outPath, const std::string& errPath);
    ~BackgroundCommand();
    BackgroundCommand(const BackgroundCommand&) = delete;
    BackgroundCommand& operator=(const BackgroundCommand&) = delete;
    // Sends SIGINT and waits at most `limit` for the end; the exit status,
    // or -1 when it did not end.
    int interruptAndWait(std::chrono::seconds limit);
    // The same with another signal.
    int signalAndWait(int signal, std::chrono::seconds limit);

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Checks `condition` every 20 ms until it holds or `limit` has passed.
bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit);

std::string readFile(const std::string& path);
