#pragma once

#include <signal.h>

#include <csignal>
#include <iterator>

// Ctrl-C, SIGTERM (a service manager, kill) and SIGHUP (a closed terminal)
// end a run after the current frame, so the patches still go through
// disable and cleanup and a recording is finished. A second signal ends the
// program at once, as that signal would have. The previous handlers come
// back afterwards.
class InterruptHandler {
public:
    InterruptHandler();
    ~InterruptHandler();
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;

    bool interrupted() const;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[std::size(kSignals)] = {};
};
