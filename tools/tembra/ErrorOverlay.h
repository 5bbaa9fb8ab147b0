#pragma once

#include "platform/gl/CGL.h"
#include "platform/graphics/CoreGraphics.h"

#include <GL/gl.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

// The latest error as one line of text over the bottom of the picture, for
// five seconds: a failed reload (show), or a problem logged (NSLogProblem)
// on the play thread while a frame runs: a shader that does not compile, a
// file that cannot be read, a patch that failed. Other lines, and those of
// other threads (MIDI, audio), are not shown.
class ErrorOverlay {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kShown{5};

    ErrorOverlay();   // observes the log
    ~ErrorOverlay();  // stops observing; the texture goes with the context it was made in
    ErrorOverlay(const ErrorOverlay&) = delete;
    ErrorOverlay& operator=(const ErrorOverlay&) = delete;

    void show(const std::string& line);
    // Takes the line away at once (the reload that fixed it succeeded).
    void clear();
    // While on, lines logged on the calling thread are shown.
    void watchThisThread(bool on);
    // The line shown now; empty once its time is over.
    std::string current();

    // With `context` current and `width` x `height` its drawable.
    void draw(CGLContextObj context, int width, int height);

private:
    void logged(const std::string& line);

    std::mutex mutex_;  // line_ and until_
    std::string line_;
    Clock::time_point until_{};
    uint64_t observer_ = 0;
    std::atomic<bool> watching_{false};
    std::atomic<std::thread::id> watcher_{};

    // What the texture holds; the drawing thread's alone.
    std::string drawnLine_;
    int drawnWidth_ = 0, drawnHeight_ = 0;
    int imageWidth_ = 0, imageHeight_ = 0;
    CGLContextObj context_ = nullptr;
    GLuint texture_ = 0;
};
