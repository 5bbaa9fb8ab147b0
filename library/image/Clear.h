#pragma once

#include "host/QCPatch.h"

// Consumer: clears the colour and depth buffers of the host's context to a
// colour (opaque black unless set).
class Clear : public QCPatch {
public:
    static constexpr const char* className = "Clear";
    static constexpr const char* classDescription =
        "Clears the frame to a colour; list it first to be the background.";
    static int executionMode() { return 1; }

    explicit Clear(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCNumberPort inputRed{this, "inputRed",
                    {.description = "red of the colour", .min = 0, .max = 1}};
    QCNumberPort inputGreen{this, "inputGreen",
                    {.description = "green of the colour", .min = 0, .max = 1}};
    QCNumberPort inputBlue{this, "inputBlue",
                    {.description = "blue of the colour", .min = 0, .max = 1}};
    QCNumberPort inputAlpha{this, "inputAlpha",
                    {.description = "opacity of the colour", .min = 0, .max = 1}};
};
