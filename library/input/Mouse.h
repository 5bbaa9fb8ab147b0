#pragma once

#include "host/QCPatch.h"

// The mouse over the player's window (or the composition's script under
// `tembra run`): its position in the host's units, so a Billboard placed at
// (outputX, outputY) sits under the pointer, and its buttons.
class Mouse : public QCPatch {
public:
    static constexpr const char* className = "Mouse";
    static constexpr const char* classDescription = "The mouse: position in picture units and the buttons";
    static int executionMode() { return 2; }

    explicit Mouse(const std::string& identifier) : QCPatch(identifier) {}
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCNumberPort outputX{this, "outputX",
                         {.description = "Across the picture: -1 at the left edge, 1 at the right", .min = -1, .max = 1}};
    QCNumberPort outputY{this, "outputY",
                         {.description = "Up the picture: 0 in the middle, -height/width at the bottom edge, "
                                         "height/width at the top"}};
    QCBooleanPort outputLeft{this, "outputLeft", {.description = "True while the left button is held"}};
    QCBooleanPort outputMiddle{this, "outputMiddle", {.description = "True while the middle button is held"}};
    QCBooleanPort outputRight{this, "outputRight", {.description = "True while the right button is held"}};
    QCBooleanPort outputClick{this, "outputClick",
                              {.description = "True for the one frame in which the left button went down"}};
};
