#pragma once

#include "host/QCPatch.h"

// Processor: counts up and down on triggers, such as a pad stepping
// through scenes; within a range it wraps round or stops at the ends.
class Counter : public QCPatch {
public:
    static constexpr const char* className = "Counter";
    static constexpr const char* classDescription =
        "Counts triggers up and down between a minimum and a maximum, wrapping or stopping at the ends.";
    static int executionMode() { return 3; }

    explicit Counter(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCBooleanPort inputUp{this, "inputUp", {.description = "adds inputStep when it turns true"}};
    QCBooleanPort inputDown{this, "inputDown", {.description = "takes away inputStep when it turns true"}};
    QCBooleanPort inputReset{this, "inputReset", {.description = "back to the minimum when it turns true"}};
    QCNumberPort inputStep{this, "inputStep", {.description = "how much one trigger counts", .min = 0, .max = 100}};
    QCNumberPort inputMinimum{this, "inputMinimum", {.description = "the lowest count, and the start", .min = 0, .max = 100}};
    QCNumberPort inputMaximum{this, "inputMaximum",
        {.description = "the highest count; at or below the minimum, no upper bound", .min = 0, .max = 100}};
    QCBooleanPort inputWrap{this, "inputWrap",
        {.description = "past an end, go round to the other end instead of stopping"}};
    QCNumberPort outputCount{this, "outputCount", {.description = "the count"}};

private:
    double count = 0;
    bool started = false;
    bool wasUp = false, wasDown = false, wasReset = false;
};
