#pragma once

// Ctrl-C ends a run after the current frame, so the patches still go
// through disable and cleanup; the previous handler comes back afterwards.
class InterruptHandler {
public:
    InterruptHandler();
    ~InterruptHandler();
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;

    bool interrupted() const;

private:
    void (*previous_)(int);
};
