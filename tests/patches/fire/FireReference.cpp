#include "FireReference.h"

#include <cmath>

float referenceFraction() { return static_cast<float>(std::rand()) / 2147483648.0f; }

namespace {

// Truncation toward zero, held to 0..255; NaN gives 0.
uint8_t byteOf(float v) {
    const float p = v * 255.0f;
    if (std::isnan(p) || p < 0.0f) return 0;
    if (p >= 255.0f) return 255;
    return static_cast<uint8_t>(std::trunc(p));
}

}  // namespace

FireReference::FireReference(int width, int height)
    : W(width), H(height), heat(W * H), oxygen(W * H), fuel(W * H), vx(W * H), vy(W * H),
      bufHeat(4 * W * H), bufOxygen(4 * W * H), bufVisible(4 * W * H) {
    for (int i = 0; i < W * H; ++i) {
        heat[i] = 0.3f;
        oxygen[i] = 1.0f;
        fuel[i] = 0.1f;
        vx[i] = referenceFraction() * 4.0f - 2.0f;
        vy[i] = referenceFraction() * 4.0f - 3.0f;
    }
    addFuel();
}

void FireReference::addFuel() {
    for (int y = 3 * H / 5; y < 4 * H / 5; ++y)
        for (int x = 3 * W / 5; x < 4 * W / 5; ++x) fuel[y * W + x] = 1.0f;
    for (int y = 440 * H / 512; y < 450 * H / 512; ++y)
        for (int x = W / 5; x < 2 * W / 5; ++x) fuel[y * W + x] = 1.0f;
}

void FireReference::step(const Chemistry& chemistry) {
    const auto [energy_barrier, rate_constant, maxrate, Exothermicness, coolrate] = chemistry;
    const int n = W * H;
    for (int i = 0; i < n; ++i) {
        float rate = ((oxygen[i] * fuel[i]) * heat[i] - energy_barrier) * rate_constant;
        if (0.0f > rate) rate = 0.0f;
        if (rate > maxrate) rate = maxrate;
        const float h = heat[i];
        oxygen[i] = oxygen[i] - rate;
        fuel[i] = fuel[i] - rate;
        heat[i] = rate * Exothermicness + h;
        if (0.0f > oxygen[i]) oxygen[i] = 0.0f;
        if (0.0f > fuel[i]) fuel[i] = 0.0f;
    }
    std::vector<float> heat2 = heat, oxygen2 = oxygen;
    for (int y = 10; y < H - 10; ++y)
        for (int x = 0; x < W; ++x) {
            const int ind = y * W + x;
            const int ytarget = static_cast<int>(std::trunc(vy[ind] + static_cast<float>(y)));
            if (ytarget < 0 || ytarget >= H) continue;
            const int xtarget = static_cast<int>(std::trunc(vx[ind] + static_cast<float>(x)));
            if (xtarget < 0 || xtarget >= W) continue;
            heat2[ytarget * W + xtarget] = heat[ind];
            oxygen2[ytarget * W + xtarget] = oxygen[ind];
        }
    for (int i = 0; i < n; ++i) {
        vx[i] = referenceFraction() * 5.0f - 2.0f;
        vy[i] = referenceFraction() * 5.0f - 2.0f;
    }
    heat = heat2;
    oxygen = oxygen2;
    addFuel();
    for (float& h : heat) h = h * coolrate;
    for (int i = 0; i < n; ++i) {
        const uint8_t hb = byteOf(heat[i]), ob = byteOf(oxygen[i]);
        const uint8_t heatPixel[4] = {hb, hb, hb, 255}, oxygenPixel[4] = {ob, ob, ob, 255},
                      visiblePixel[4] = {hb, hb, hb, static_cast<uint8_t>(255 - ob)};
        for (int c = 0; c < 4; ++c) {
            bufHeat[4 * i + c] = heatPixel[c];
            bufOxygen[4 * i + c] = oxygenPixel[c];
            bufVisible[4 * i + c] = visiblePixel[c];
        }
    }
}
