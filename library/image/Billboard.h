#pragma once

#include "host/QCPatch.h"

// Consumer: draws inputImage as a textured quad centred at (inputX, inputY)
// and inputWidth wide, in the host's units (x from -1 to 1 across the
// picture); the height follows the image's proportions. The image's first
// row is drawn at the top.
class Billboard : public QCPatch {
public:
    static constexpr const char* className = "Billboard";
    static int executionMode() { return 1; }

    explicit Billboard(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCGLImagePort inputImage{this, "inputImage"};
    QCNumberPort inputX{this, "inputX"};
    QCNumberPort inputY{this, "inputY"};
    QCNumberPort inputWidth{this, "inputWidth"};
};
