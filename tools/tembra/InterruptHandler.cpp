#include "InterruptHandler.h"

#include <atomic>

namespace {

// A signal handler can reach nothing else.
std::atomic<bool> interruptedFlag{false};

extern "C" void onInterrupt(int signal) {
    if (!interruptedFlag.exchange(true)) return;
    // Asked twice: the default action, now.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

InterruptHandler::InterruptHandler() {
    interruptedFlag = false;
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on; the loops look at the flag often.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &previous_[i]);
}

InterruptHandler::~InterruptHandler() {
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
}

bool InterruptHandler::interrupted() const { return interruptedFlag; }
