#include "Color.h"

#include <algorithm>
#include <cmath>

namespace {

// Hue wraps round (1.25 is 0.25); saturation and brightness are held to 0..1.
QCColor fromHSB(double hue, double saturation, double brightness, double alpha) {
    hue = std::isfinite(hue) ? (hue - std::floor(hue)) * 6.0 : 0.0;
    saturation = std::clamp(saturation, 0.0, 1.0);
    brightness = std::clamp(brightness, 0.0, 1.0);
    const int sector = static_cast<int>(hue) % 6;
    const double f = hue - std::floor(hue);
    const double p = brightness * (1 - saturation), q = brightness * (1 - saturation * f),
                 t = brightness * (1 - saturation * (1 - f));
    switch (sector) {
    case 0: return {brightness, t, p, alpha};
    case 1: return {q, brightness, p, alpha};
    case 2: return {p, brightness, t, alpha};
    case 3: return {p, q, brightness, alpha};
    case 4: return {t, p, brightness, alpha};
    default: return {brightness, p, q, alpha};
    }
}

}  // namespace

Color::Color(const std::string& identifier) : QCPatch(identifier) {
    inputMode.setMaxIndexValue(1);
    for (QCNumberPort* port : {&inputRed, &inputGreen, &inputBlue, &inputAlpha}) port->setDoubleValue(1);
    outputColor.setColorValue(made());
}

QCColor Color::made() const {
    const double a = inputAlpha.doubleValue();
    if (inputMode.indexValue() == 1) return fromHSB(inputRed.doubleValue(), inputGreen.doubleValue(), inputBlue.doubleValue(), a);
    return {inputRed.doubleValue(), inputGreen.doubleValue(), inputBlue.doubleValue(), a};
}

bool Color::execute(QCOpenGLContext*, double, const QCArguments*) {
    outputColor.setColorValue(made());
    return true;
}
