#pragma once

#include "FireReference.h"
#include "host/QCGLCGImage.h"
#include "patches/fire/FireRandom.h"
#include "patches/fire/TembraFire.h"

#include <cstddef>
#include <cstdlib>
#include <vector>

// Small helpers shared by the fire tests.

// Starts the fire's sequence and the C library's (which the reference draws
// from) over from one seed.
inline void restartRandom(unsigned seed) {
    FireRandom::shared().restart(seed);
    std::srand(seed);
}

inline void step(TembraFire& fire) { fire.execute(nullptr, 0.0, nullptr); }

// Resizes the grid the way the host would: through the ports, taking effect
// at the next step.
inline void setSize(TembraFire& fire, uint32_t wide, uint32_t high) {
    fire.inputPixelsWide.setIndexValue(wide);
    fire.inputPixelsHigh.setIndexValue(high);
}

// Parameters that leave every value as it is: nothing reacts, nothing cools.
inline void freezeChemistry(TembraFire& fire) {
    fire.inputEnergyBarrier.setDoubleValue(1e30);
    fire.inputCoolRate.setDoubleValue(1.0);
}

inline void setChemistry(TembraFire& fire, const Chemistry& k) {
    fire.inputEnergyBarrier.setDoubleValue(k.energy_barrier);
    fire.inputReactionRateCoefficient.setDoubleValue(k.rate_constant);
    fire.inputMaxReactionRate.setDoubleValue(k.maxrate);
    fire.inputExothermicness.setDoubleValue(k.Exothermicness);
    fire.inputCoolRate.setDoubleValue(k.coolrate);
}

inline std::vector<float> copyOf(const float* field, size_t cells) { return {field, field + cells}; }

inline float& cell(float* field, const FireGrid& grid, int x, int y) {
    return field[static_cast<size_t>(y) * grid.width() + x];
}
