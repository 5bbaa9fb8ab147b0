#pragma once

#include <chrono>

// How `tembra run` spaces its frames: not at all, or on the wall clock.
class Pacer {
public:
    virtual ~Pacer() = default;
    // Waits until the frame at composition time `time` is due; returns the
    // seconds the run has really lasted, which the audio clock follows.
    virtual double waitFor(double time) = 0;
};

// As fast as the frames can be made; the audio clock is composition time.
class OfflinePacer : public Pacer {
public:
    double waitFor(double time) override { return time; }
};

// --realtime: each frame at its absolute deadline from the start, so
// nothing drifts.
class RealtimePacer : public Pacer {
public:
    RealtimePacer() : start_(std::chrono::steady_clock::now()) {}
    double waitFor(double time) override;

private:
    std::chrono::steady_clock::time_point start_;
};
