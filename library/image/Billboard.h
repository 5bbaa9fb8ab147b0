#pragma once

#include "host/QCPatch.h"

// Consumer: draws inputImage as a textured quad centred at (inputX, inputY)
// and inputWidth wide, in the host's units (x from -1 to 1 across the
// picture); the height follows the image's proportions. The image's first
// row is drawn at the top.
class Billboard : public QCPatch {
public:
    static constexpr const char* className = "Billboard";
    static constexpr const char* classDescription =
        "Draws an image into the frame as a flat rectangle, keeping its aspect ratio.";
    static int executionMode() { return 1; }

    explicit Billboard(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCGLImagePort inputImage{this, "inputImage",
                    {.description = "the image to draw"}};
    QCNumberPort inputX{this, "inputX",
                    {.description = "centre along x; -1 is the left edge, 1 the right", .min = -1, .max = 1}};
    QCNumberPort inputY{this, "inputY",
                    {.description = "centre along y; -1 is the bottom edge, 1 the top", .min = -1, .max = 1}};
    QCNumberPort inputWidth{this, "inputWidth",
                    {.description = "width; 2 is the frame's full width", .min = 0, .max = 2}};
};
