#pragma once

#include "host/QCPatch.h"

#include <string>

// Processor: inputString drawn with a font, a colour and an alignment into
// an image as large as the text, transparent around the letters, wrapped at
// inputWrapWidth pixels when that is set. Drawn again only when an input
// changes; an empty string gives no image.
class Text : public QCPatch {
public:
    static constexpr const char* className = "Text";
    static constexpr const char* classDescription =
        "Draws a string into an image with a font by name, a colour, an alignment and a wrapping width.";
    static int executionMode() { return 3; }

    explicit Text(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputString{this, "inputString", {.description = "the text; line breaks start new lines"}};
    QCStringPort inputFont{this, "inputFont",
        {.description = "font by name: family, style words, size in pixels (\"DejaVu Sans Bold 48\")"}};
    QCNumberPort inputRed{this, "inputRed", {.description = "red of the letters", .min = 0, .max = 1}};
    QCNumberPort inputGreen{this, "inputGreen", {.description = "green of the letters", .min = 0, .max = 1}};
    QCNumberPort inputBlue{this, "inputBlue", {.description = "blue of the letters", .min = 0, .max = 1}};
    QCNumberPort inputAlpha{this, "inputAlpha", {.description = "opacity of the letters", .min = 0, .max = 1}};
    QCIndexPort inputAlignment{this, "inputAlignment",
        {.description = "0 left, 1 centre, 2 right", .min = 0, .max = 2}};
    QCNumberPort inputWrapWidth{this, "inputWrapWidth",
        {.description = "lines wrap at this width; 0 breaks lines only at line breaks",
         .min = 0, .max = 4096, .unit = "px"}};
    QCGLImagePort outputImage{this, "outputImage", {.description = "the text, premultiplied, or none when empty"}};

private:
    std::string lastKey;  // what the image shows, so an equal input draws nothing new
    bool drawn = false;
};
