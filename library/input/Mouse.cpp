#include "library/input/Mouse.h"

#include "platform/input/InputEvents.h"

bool Mouse::execute(QCOpenGLContext*, double, const QCArguments* arguments) {
    const InputEvents* input = arguments ? arguments->inputEvents : nullptr;
    if (!input) return true;
    using Button = InputEvents::Button;
    outputX.setDoubleValue(input->mouseX());
    outputY.setDoubleValue(input->mouseY());
    outputLeft.setBooleanValue(input->isDown(Button::Left));
    outputMiddle.setBooleanValue(input->isDown(Button::Middle));
    outputRight.setBooleanValue(input->isDown(Button::Right));
    outputClick.setBooleanValue(input->pressed(Button::Left));
    return true;
}
