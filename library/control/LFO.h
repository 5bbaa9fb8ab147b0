#pragma once

#include "host/QCPatch.h"

// Processor: a slow wave (sine, triangle, square, sawtooth, random-hold) on
// composition time, or on a phase from outside such as Tempo's beat phase,
// to make something breathe or pulse.
class LFO : public QCPatch {
public:
    static constexpr const char* className = "LFO";
    static constexpr const char* classDescription =
        "A wave on time or on an outside phase: sine, triangle, square, sawtooth, random-hold.";
    static int executionMode() { return 3; }
    static int timeModeWithIdentifier(const std::string&) { return 1; }

    explicit LFO(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCIndexPort inputShape{this, "inputShape",
        {.description = "0 sine, 1 triangle, 2 square, 3 sawtooth, 4 random-hold", .min = 0, .max = 4}};
    QCNumberPort inputPeriod{this, "inputPeriod",
        {.description = "seconds per cycle; 0 to follow inputPhase alone", .min = 0, .max = 60, .unit = "s"}};
    QCNumberPort inputPhase{this, "inputPhase",
        {.description = "added to the phase in cycles; connect a beat phase here with inputPeriod 0",
         .min = 0, .max = 1}};
    QCNumberPort inputAmplitude{this, "inputAmplitude",
        {.description = "half the swing: the wave goes from offset - amplitude to offset + amplitude",
         .min = 0, .max = 1}};
    QCNumberPort inputOffset{this, "inputOffset", {.description = "the wave's middle", .min = -1, .max = 1}};
    QCNumberPort inputPulseWidth{this, "inputPulseWidth",
        {.description = "part of a square cycle spent high", .min = 0, .max = 1}};
    QCNumberPort outputValue{this, "outputValue", {.description = "offset + amplitude * wave"}};

    // The wave of `shape` at `cycles` (whole cycles and a fraction), -1 to 1.
    static double wave(uint32_t shape, double cycles, double pulseWidth, uint64_t seed);

private:
    uint64_t seed;
};
