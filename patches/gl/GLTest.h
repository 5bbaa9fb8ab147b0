#pragma once

#include "host/QCPatch.h"

// Draws a fixed test picture with immediate-mode OpenGL into the host's
// context: two shaded triangles and, 3 units to the right, a quad with a
// different colour at each corner. Its inputs change nothing.
class GLTest : public QCPatch {
public:
    static constexpr const char* className = "GLTest";
    static constexpr const char* classDescription =
        "Draws a fixed OpenGL test picture: two shaded triangles and a coloured quad.";
    static int executionMode() { return 1; }

    explicit GLTest(const std::string& identifier) : QCPatch(identifier) {}
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCNumberPort inputX{this, "inputX",
        {.description = "declared for compatibility; not read"}};
    QCNumberPort inputY{this, "inputY",
        {.description = "declared for compatibility; not read"}};
    QCNumberPort inputZ{this, "inputZ",
        {.description = "declared for compatibility; not read"}};
    QCNumberPort inputRX{this, "inputRX",
        {.description = "declared for compatibility; not read"}};
    QCNumberPort inputRY{this, "inputRY",
        {.description = "declared for compatibility; not read"}};
    QCNumberPort inputRZ{this, "inputRZ",
        {.description = "declared for compatibility; not read"}};
    QCNumberPort inputScale{this, "inputScale",
        {.description = "declared for compatibility; not read"}};
    QCGLPort_Color inputColor1{this, "inputColor1",
        {.description = "declared for compatibility; holds the host default"}};
    QCGLPort_Color inputColor2{this, "inputColor2",
        {.description = "declared for compatibility; holds the host default"}};
    QCGLPort_Color inputColor3{this, "inputColor3",
        {.description = "declared for compatibility; holds the host default"}};
    QCGLPort_Blending inputBlending{this, "inputBlending",
        {.description = "declared for compatibility; holds the host default"}};
    QCGLPort_ZBuffer inputZBuffer{this, "inputZBuffer",
        {.description = "declared for compatibility; holds the host default"}};
    QCGLPort_Culling inputCulling{this, "inputCulling",
        {.description = "declared for compatibility; holds the host default"}};

private:
    void _drawGL();
};
