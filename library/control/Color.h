#pragma once

#include "host/QCPatch.h"

// Processor: a colour made of four numbers, so that a knob or an LFO can
// drive one channel of it; in HSB mode the first three are hue, saturation
// and brightness.
class Color : public QCPatch {
public:
    static constexpr const char* className = "Color";
    static constexpr const char* classDescription =
        "A colour from red, green, blue and alpha numbers (or hue, saturation and brightness).";
    static int executionMode() { return 3; }

    explicit Color(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCNumberPort inputRed{this, "inputRed", {.description = "red, or in HSB mode the hue (0 and 1 are red)", .min = 0, .max = 1}};
    QCNumberPort inputGreen{this, "inputGreen", {.description = "green, or in HSB mode the saturation", .min = 0, .max = 1}};
    QCNumberPort inputBlue{this, "inputBlue", {.description = "blue, or in HSB mode the brightness", .min = 0, .max = 1}};
    QCNumberPort inputAlpha{this, "inputAlpha", {.description = "opacity: 0 transparent, 1 opaque", .min = 0, .max = 1}};
    QCIndexPort inputMode{this, "inputMode",
                          {.description = "how the first three inputs read: 0 red, green, blue; 1 hue, saturation, brightness",
                           .min = 0, .max = 1}};
    QCColorPort outputColor{this, "outputColor", {.description = "the colour, not premultiplied", .min = 0, .max = 1}};

private:
    QCColor made() const;
};
