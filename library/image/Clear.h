#pragma once

#include "host/QCPatch.h"

// Consumer: clears the colour and depth buffers of the host's context to a
// colour (opaque black unless set).
class Clear : public QCPatch {
public:
    static constexpr const char* className = "Clear";
    static int executionMode() { return 1; }

    explicit Clear(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCNumberPort inputRed{this, "inputRed"};
    QCNumberPort inputGreen{this, "inputGreen"};
    QCNumberPort inputBlue{this, "inputBlue"};
    QCNumberPort inputAlpha{this, "inputAlpha"};
};
