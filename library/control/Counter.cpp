#include "Counter.h"

#include <algorithm>
#include <cmath>

Counter::Counter(const std::string& identifier) : QCPatch(identifier) { inputStep.setDoubleValue(1.0); }

bool Counter::execute(QCOpenGLContext*, double, const QCArguments*) {
    const double low = inputMinimum.doubleValue(), high = inputMaximum.doubleValue();
    const bool bounded = high > low;
    const bool up = inputUp.booleanValue(), down = inputDown.booleanValue(), reset = inputReset.booleanValue();
    if (!started || (reset && !wasReset)) count = low;
    started = true;
    const double step = std::isfinite(inputStep.doubleValue()) ? inputStep.doubleValue() : 0.0;
    double next = count;
    if (up && !wasUp) next += step;
    if (down && !wasDown) next -= step;
    wasUp = up, wasDown = down, wasReset = reset;
    if (bounded && next > high) next = inputWrap.booleanValue() ? low : high;
    else if (bounded && next < low) next = inputWrap.booleanValue() ? high : low;
    else if (!bounded && next < low) next = low;
    count = next;
    outputCount.setDoubleValue(count);
    return true;
}
