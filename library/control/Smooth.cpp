#include "Smooth.h"

#include <cmath>

Smooth::Smooth(const std::string& identifier) : QCPatch(identifier) { inputTimeConstant.setDoubleValue(0.2); }

bool Smooth::execute(QCOpenGLContext*, double time, const QCArguments*) {
    const double target = inputValue.doubleValue();
    const double step = time - lastTime;
    lastTime = time;
    // The first frame, a time that went back, or a value that was not a
    // number: start from the input rather than glide from nowhere.
    if (!started || step < 0 || !std::isfinite(current)) {
        current = target;
        started = true;
    } else {
        double tau = inputTimeConstant.doubleValue();
        const double directional = target > current ? inputRiseTime.doubleValue() : inputFallTime.doubleValue();
        if (directional > 0) tau = directional;
        current = !(tau > 0) ? target : current + (target - current) * (1.0 - std::exp(-step / tau));
    }
    outputValue.setDoubleValue(current);
    return true;
}
