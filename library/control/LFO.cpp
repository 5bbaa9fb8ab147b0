#include "LFO.h"

#include <cmath>
#include <functional>
#include <numbers>

namespace {

// A value from -1 to 1 fixed by the cycle number, so that run, play and a
// reload all draw the same random steps.
double randomOfCycle(uint64_t seed, int64_t cycle) {
    uint64_t x = seed ^ (static_cast<uint64_t>(cycle) * 0x9E3779B97F4A7C15ull);
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return static_cast<double>(x >> 11) / static_cast<double>(1ull << 53) * 2.0 - 1.0;
}

}  // namespace

LFO::LFO(const std::string& identifier) : QCPatch(identifier), seed(std::hash<std::string>{}(identifier)) {
    inputShape.setMaxIndexValue(4);
    inputPeriod.setDoubleValue(1.0);
    inputAmplitude.setDoubleValue(1.0);
    inputPulseWidth.setDoubleValue(0.5);
}

double LFO::wave(uint32_t shape, double cycles, double pulseWidth, uint64_t seed) {
    const double p = cycles - std::floor(cycles);
    switch (shape) {
    case 0: return std::sin(2 * std::numbers::pi * p);
    case 1: return p < 0.25 ? 4 * p : p < 0.75 ? 2 - 4 * p : 4 * p - 4;
    case 2: return p < pulseWidth ? 1.0 : -1.0;
    case 3: return 2 * p - 1;
    default: return randomOfCycle(seed, static_cast<int64_t>(std::floor(cycles)));
    }
}

bool LFO::execute(QCOpenGLContext*, double time, const QCArguments*) {
    const double period = inputPeriod.doubleValue();
    // A period too short to see is no period: the outside phase alone.
    const double cycles = (std::isfinite(period) && period > 1e-6 ? time / period : 0.0) + inputPhase.doubleValue();
    double value = 0;
    if (std::isfinite(cycles))
        value = inputOffset.doubleValue() +
                inputAmplitude.doubleValue() * wave(inputShape.indexValue(), cycles, inputPulseWidth.doubleValue(), seed);
    outputValue.setDoubleValue(value);
    return true;
}
