#pragma once

#include "host/QCPatch.h"

// Processor: a switch that a trigger (a key, a pad) flips on and off.
class Toggle : public QCPatch {
public:
    static constexpr const char* className = "Toggle";
    static constexpr const char* classDescription = "A switch that each trigger flips.";
    static int executionMode() { return 3; }

    explicit Toggle(const std::string& identifier) : QCPatch(identifier) {}
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCBooleanPort inputTrigger{this, "inputTrigger", {.description = "flips the switch when it turns true"}};
    QCBooleanPort inputReset{this, "inputReset", {.description = "turns the switch off when it turns true"}};
    QCBooleanPort outputValue{this, "outputValue", {.description = "the switch"}};

private:
    bool wasTrigger = false, wasReset = false;
};
