#pragma once

#include "host/QCPatch.h"

// Draws a fixed test picture with immediate-mode OpenGL into the host's
// context: two shaded triangles and, 3 units to the right, a quad with a
// different colour at each corner. Its inputs change nothing.
class GLTest : public QCPatch {
public:
    static constexpr const char* className = "GLTest";
    static int executionMode() { return 1; }

    explicit GLTest(const std::string& identifier) : QCPatch(identifier) {}
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCNumberPort inputX{this, "inputX"};
    QCNumberPort inputY{this, "inputY"};
    QCNumberPort inputZ{this, "inputZ"};
    QCNumberPort inputRX{this, "inputRX"};
    QCNumberPort inputRY{this, "inputRY"};
    QCNumberPort inputRZ{this, "inputRZ"};
    QCNumberPort inputScale{this, "inputScale"};
    QCGLPort_Color inputColor1{this, "inputColor1"};
    QCGLPort_Color inputColor2{this, "inputColor2"};
    QCGLPort_Color inputColor3{this, "inputColor3"};
    QCGLPort_Blending inputBlending{this, "inputBlending"};
    QCGLPort_ZBuffer inputZBuffer{this, "inputZBuffer"};
    QCGLPort_Culling inputCulling{this, "inputCulling"};

private:
    void _drawGL();
};
