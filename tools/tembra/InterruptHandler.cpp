#include "InterruptHandler.h"

#include <atomic>
#include <csignal>

namespace {

// A signal handler can reach nothing else.
std::atomic<bool> interruptedFlag{false};

extern "C" void onInterrupt(int) { interruptedFlag = true; }

}  // namespace

InterruptHandler::InterruptHandler() : previous_(std::signal(SIGINT, onInterrupt)) { interruptedFlag = false; }

InterruptHandler::~InterruptHandler() { std::signal(SIGINT, previous_); }

bool InterruptHandler::interrupted() const { return interruptedFlag; }
