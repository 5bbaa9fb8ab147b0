#pragma once

#include "host/QCPatch.h"

// Processor: follows its input with a time constant, so a knob's steps
// become a glide; with different rise and fall times, an envelope.
class Smooth : public QCPatch {
public:
    static constexpr const char* className = "Smooth";
    static constexpr const char* classDescription =
        "Glides towards its input with a time constant; rise and fall times make an envelope.";
    static int executionMode() { return 3; }
    static int timeModeWithIdentifier(const std::string&) { return 1; }

    explicit Smooth(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCNumberPort inputValue{this, "inputValue", {.description = "the value to follow"}};
    QCNumberPort inputTimeConstant{this, "inputTimeConstant",
        {.description = "seconds to cover 63% of a step; 0 follows at once", .min = 0, .max = 10, .unit = "s"}};
    QCNumberPort inputRiseTime{this, "inputRiseTime",
        {.description = "when above 0, the time constant while the value rises", .min = 0, .max = 10, .unit = "s"}};
    QCNumberPort inputFallTime{this, "inputFallTime",
        {.description = "when above 0, the time constant while the value falls", .min = 0, .max = 10, .unit = "s"}};
    QCNumberPort outputValue{this, "outputValue", {.description = "the smoothed value"}};

private:
    double current = 0;
    double lastTime = 0;
    bool started = false;
};
