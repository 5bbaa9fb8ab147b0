#include "patches/fire/FirePasses.h"

#include "patches/fire/FireByteValue.h"
#include "patches/fire/FireRandom.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// One RGBA pixel given as red | green << 8 | blue << 16 | alpha << 24.
inline void storePixel(uint8_t* pixel, uint32_t rgba) {
    static_assert(std::endian::native == std::endian::little, "pixels are stored as little-endian words");
    std::memcpy(pixel, &rgba, 4);
}

}  // namespace

// The passes are built twice, for AVX2 and for any x86-64, and the loader
// picks one; both give the same values bit for bit (no fused multiply-add).
// Not under a sanitizer, whose instrumented resolver would run before the
// sanitizer is set up.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
#define FIRE_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define FIRE_WIDE_VECTORS
#endif

FIRE_WIDE_VECTORS void fireReact(FireGrid& grid, const FireChemistry& k, size_t begin, size_t end) {
    float* __restrict const heat = grid.heat;
    float* __restrict const oxygen = grid.oxygen;
    float* __restrict const fuel = grid.fuel;
    float* __restrict const heat2 = grid.heat2;
    float* __restrict const oxygen2 = grid.oxygen2;
#pragma omp simd
    for (size_t i = begin; i < end; ++i) {
        const float O = oxygen[i], F = fuel[i], H = heat[i];
        float reaction_rate = ((O * F) * H - k.energy_barrier) * k.rate_constant;
        // Lower bound first, so a negative maxrate wins.
        reaction_rate = 0.0f > reaction_rate ? 0.0f : reaction_rate;
        reaction_rate = reaction_rate > k.maxrate ? k.maxrate : reaction_rate;
        float newOxygen = O - reaction_rate;
        float newFuel = F - reaction_rate;
        const float newHeat = reaction_rate * k.Exothermicness + H;
        newOxygen = 0.0f > newOxygen ? 0.0f : newOxygen;
        newFuel = 0.0f > newFuel ? 0.0f : newFuel;
        oxygen[i] = newOxygen;
        fuel[i] = newFuel;
        heat[i] = newHeat;
        heat2[i] = newHeat;
        oxygen2[i] = newOxygen;
    }
}

FIRE_WIDE_VECTORS int32_t fireTargets(const FireGrid& grid, int32_t y, int32_t x0, int32_t n, int32_t* __restrict targets) {
    const int32_t W = grid.width();
    const auto fw = static_cast<float>(W), fh = static_cast<float>(grid.height()), fy = static_cast<float>(y);
    const size_t first = static_cast<size_t>(y) * static_cast<size_t>(W) + static_cast<size_t>(x0);
    const float* __restrict const vx = grid.vx + first;
    const float* __restrict const vy = grid.vy + first;
    int32_t lastRow = y;
#pragma omp simd reduction(max : lastRow)
    for (int32_t k = 0; k < n; ++k) {
        const float ysum = vy[k] + fy;
        const float xsum = vx[k] + static_cast<float>(x0 + k);
        // The integer part (toward zero) of a sum lies in 0..N-1 exactly
        // when the sum lies in (-1, N); only such sums are converted, as the
        // others may not fit an integer.
        const bool inside = (ysum > -1.0f) & (ysum < fh) & (xsum > -1.0f) & (xsum < fw);
        const auto ytarget = static_cast<int32_t>(inside ? ysum : 0.0f);
        const auto xtarget = static_cast<int32_t>(inside ? xsum : 0.0f);
        targets[k] = inside ? ytarget * W + xtarget : -1;
        lastRow = std::max(lastRow, ytarget);
    }
    return lastRow;
}

void fireScatter(FireGrid& grid, int32_t y, int32_t x0, int32_t n, const int32_t* __restrict targets) {
    const size_t first = static_cast<size_t>(y) * static_cast<size_t>(grid.width()) + static_cast<size_t>(x0);
    const float* __restrict const heat = grid.heat + first;
    const float* __restrict const oxygen = grid.oxygen + first;
    float* __restrict const heat2 = grid.heat2;
    float* __restrict const oxygen2 = grid.oxygen2;
    for (int32_t k = 0; k < n; ++k) {
        const int32_t target = targets[k];
        if (target < 0) continue;
        heat2[target] = heat[k];
        oxygen2[target] = oxygen[k];
    }
}

namespace {

// Numbers are below 2^31, so the signed conversion gives the same float and
// vectorises; multiplying by 2^-31 is exactly dividing by 2^31.
inline float displacement(uint32_t number, float scale, float offset) {
    return static_cast<float>(static_cast<int32_t>(number)) * 0x1p-31f * scale + offset;
}

FIRE_WIDE_VECTORS void displacementPairs(const uint32_t* __restrict numbers, size_t pairs, float* __restrict vx,
                                         float* __restrict vy, float scale, float vxOffset, float vyOffset) {
#pragma omp simd
    for (size_t j = 0; j < pairs; ++j) {
        vx[j] = displacement(numbers[2 * j], scale, vxOffset);
        vy[j] = displacement(numbers[2 * j + 1], scale, vyOffset);
    }
}

}  // namespace

void fireDrawDisplacements(FireGrid& grid, size_t begin, size_t end, float scale, float vxOffset, float vyOffset) {
    size_t cell = begin;
    bool vyNext = false;  // a block ended between a cell's vx and its vy
    FireRandom::shared().draw(2 * (end - begin), [&](const uint32_t* numbers, size_t n) {
        if (vyNext) {
            grid.vy[cell++] = displacement(*numbers++, scale, vyOffset);
            --n;
        }
        const size_t pairs = n / 2;
        displacementPairs(numbers, pairs, grid.vx + cell, grid.vy + cell, scale, vxOffset, vyOffset);
        cell += pairs;
        vyNext = n % 2 != 0;
        if (vyNext) grid.vx[cell] = displacement(numbers[n - 1], scale, vxOffset);
    });
}

void fireAddFuel(FireGrid& grid) {
    const int32_t W = grid.width(), H = grid.height();
    float* const fuel = grid.fuel;
    const auto fill = [&](int32_t top, int32_t bottom, int32_t left, int32_t right) {
        for (int32_t y = top; y < bottom; ++y)
            for (int32_t x = left; x < right; ++x) fuel[static_cast<size_t>(y) * W + x] = 1.0f;
    };
    fill(3 * H / 5, 4 * H / 5, 3 * W / 5, 4 * W / 5);
    fill(440 * H / 512, 450 * H / 512, W / 5, 2 * W / 5);
}

FIRE_WIDE_VECTORS void fireSettle(FireGrid& grid, float coolrate, size_t begin, size_t end) {
    float* __restrict const heat2 = grid.heat2;
    const float* __restrict const oxygen2 = grid.oxygen2;
    uint8_t* __restrict const bufHeat = grid.bufHeat;
    uint8_t* __restrict const bufOxygen = grid.bufOxygen;
    uint8_t* __restrict const bufVisible = grid.bufVisible;
#pragma omp simd
    for (size_t i = begin; i < end; ++i) {
        const float cooled = heat2[i] * coolrate;
        heat2[i] = cooled;
        // Levels stay 32-bit integers, lanes of the same width as the floats.
        const auto h = static_cast<uint32_t>(fireByteLevel(cooled));
        const auto o = static_cast<uint32_t>(fireByteLevel(oxygen2[i]));
        const auto a = static_cast<uint32_t>(fireVisibleAlpha(oxygen2[i]));
        const uint32_t heatGrey = h | h << 8 | h << 16;
        // Grey pixels: red, green and blue the same byte, then alpha. The
        // visible colour is stored as computed, not multiplied by its alpha.
        storePixel(bufHeat + 4 * i, heatGrey | 0xFF000000u);
        storePixel(bufOxygen + 4 * i, o | o << 8 | o << 16 | 0xFF000000u);
        storePixel(bufVisible + 4 * i, heatGrey | a << 24);
    }
}
