#include "Toggle.h"

bool Toggle::execute(QCOpenGLContext*, double, const QCArguments*) {
    const bool trigger = inputTrigger.booleanValue(), reset = inputReset.booleanValue();
    bool value = outputValue.booleanValue();
    if (reset && !wasReset) value = false;
    else if (trigger && !wasTrigger) value = !value;
    wasTrigger = trigger, wasReset = reset;
    outputValue.setBooleanValue(value);
    return true;
}
