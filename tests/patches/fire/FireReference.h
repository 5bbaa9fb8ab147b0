#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

// rand() scaled to [0, 1] in single precision: the draw behind every
// displacement.
float referenceFraction();

// The five parameters of a step, as the patch reads them from its ports.
struct Chemistry {
    float energy_barrier, rate_constant, maxrate, Exothermicness, coolrate;
};
inline constexpr Chemistry defaultChemistry{0.0f, 0.01f, 1.0f, 1.0f, 0.99f};

// The fire model written out stage by stage, plainly and apart from the
// patch, to hold the patch's merged passes to the same values bit for bit.
struct FireReference {
    int W, H;
    std::vector<float> heat, oxygen, fuel, vx, vy;
    std::vector<uint8_t> bufHeat, bufOxygen, bufVisible;

    FireReference(int width, int height);
    void addFuel();
    void step(const Chemistry& chemistry);
};
