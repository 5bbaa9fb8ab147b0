#include "TembraFire.h"

#include "FireByteValue.h"
#include "patches/SizePort.h"
#include "patches/fire/FireRandom.h"
#include "host/QCGLCGImage.h"
#include "platform/foundation/NSLog.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Sets vx[i] = f * scale + vxOffset, then vy[i] = f * scale + vyOffset with
// the next f, for the cells in ascending order, where f is a number of the
// fire's sequence scaled to [0, 1] in single precision (exactly 1 for the few
// largest numbers, which round up to 2^31 as floats).
void drawDisplacements(float* vx, float* vy, size_t cells, float scale, float vxOffset, float vyOffset) {
    FireRandom::shared().draw(2 * cells, [&](const uint32_t* numbers, size_t n) {
        // Numbers are below 2^31, so the signed conversion is the same and
        // vectorises; multiplying by 2^-31 is exactly dividing by 2^31.
        for (size_t j = 0; j < n / 2; ++j) {
            vx[j] = static_cast<float>(static_cast<int32_t>(numbers[2 * j])) * 0x1p-31f * scale + vxOffset;
            vy[j] = static_cast<float>(static_cast<int32_t>(numbers[2 * j + 1])) * 0x1p-31f * scale + vyOffset;
        }
        vx += n / 2;
        vy += n / 2;
    });
}

// One RGBA pixel given as red | green << 8 | blue << 16 | alpha << 24.
inline void storePixel(uint8_t* pixel, uint32_t rgba) {
    static_assert(std::endian::native == std::endian::little, "pixels are stored as little-endian words");
    std::memcpy(pixel, &rgba, 4);
}

}  // namespace

TembraFire::TembraFire(const std::string& identifier) : QCPatch(identifier) {
    inputPixelsWide.setIndexValue(320);
    inputPixelsWide.setMaxIndexValue(4096);
    inputPixelsHigh.setIndexValue(240);
    inputPixelsHigh.setMaxIndexValue(4096);
    inputEnergyBarrier.setDoubleValue(0.0);
    inputReactionRateCoefficient.setDoubleValue(0.01);
    inputMaxReactionRate.setDoubleValue(1.0);
    inputExothermicness.setDoubleValue(1.0);
    inputCoolRate.setDoubleValue(0.99);
    _colorspace = CGColorSpaceCreateDeviceRGB();
    if (!arInit())
        NSLog("TembraFire::arInit(): cannot allocate a grid of %d x %d cells", currentPixelsWide, currentPixelsHigh);
}

TembraFire::~TembraFire() {
    arFini();
    CGColorSpaceRelease(_colorspace);
}

QCContext* TembraFire::setup(QCContext* context) { return context; }

bool TembraFire::arInit() {
    std::unique_ptr<FireGrid> fresh;
    try {
        fresh = std::make_unique<FireGrid>(currentPixelsWide, currentPixelsHigh);
    } catch (const std::bad_alloc&) {
        return false;
    }
    arFini();
    grid = std::move(fresh);

    float* const heat = grid->heat;
    float* const oxygen = grid->oxygen;
    float* const fuel = grid->fuel;
    float* const vx = grid->vx;
    float* const vy = grid->vy;
    const size_t cells = grid->cells();
    for (size_t i = 0; i < cells; ++i) {
        heat[i] = 0.3f;
        oxygen[i] = 1.0f;
        fuel[i] = 0.1f;
    }
    // The first vy range, [-3, 1], carries the first step's content upward.
    drawDisplacements(vx, vy, cells, 4.0f, -2.0f, -3.0f);
    addFuel();
    return true;
}

void TembraFire::arFini() { grid.reset(); }

void TembraFire::addFuel() {
    const int32_t W = grid->width(), H = grid->height();
    float* const fuel = grid->fuel;
    const auto fill = [&](int32_t top, int32_t bottom, int32_t left, int32_t right) {
        for (int32_t y = top; y < bottom; ++y)
            for (int32_t x = left; x < right; ++x) fuel[static_cast<size_t>(y) * W + x] = 1.0f;
    };
    fill(3 * H / 5, 4 * H / 5, 3 * W / 5, 4 * W / 5);
    fill(440 * H / 512, 450 * H / 512, W / 5, 2 * W / 5);
}

bool TembraFire::execute(QCOpenGLContext*, double, const QCArguments*) {
    followSize();
    if (!grid) return true;

    const auto energy_barrier = static_cast<float>(inputEnergyBarrier.doubleValue());
    const auto rate_constant = static_cast<float>(inputReactionRateCoefficient.doubleValue());
    const auto maxrate = static_cast<float>(inputMaxReactionRate.doubleValue());
    const auto Exothermicness = static_cast<float>(inputExothermicness.doubleValue());
    const auto coolrate = static_cast<float>(inputCoolRate.doubleValue());

    // The step's stages are merged into three passes over the grid, which
    // gives the same values bit for bit: the copies into heat2 and oxygen2
    // ride on the reaction, the new displacements are drawn (in the same
    // cell order) right after the transport has read the old ones, and fuel,
    // which nothing else here reads, is fed before heat and oxygen are
    // copied back, cooled and turned into bytes in one go.
    react(energy_barrier, rate_constant, maxrate, Exothermicness);
    transport();
    addFuel();
    settle(coolrate);
    publishImages();
    return true;
}

// A new size restarts the model, once even when both dimensions changed.
void TembraFire::followSize() {
    const int32_t previousWide = currentPixelsWide, previousHigh = currentPixelsHigh;
    // Both ports are looked at, so the model restarts once for two changes.
    const bool wideChanged = followSizePort(inputPixelsWide, currentPixelsWide);
    const bool highChanged = followSizePort(inputPixelsHigh, currentPixelsHigh);
    const bool rebuild = wideChanged || highChanged;
    if (!rebuild || arInit()) return;

    // Out of memory: go on with the grid we have, and say so on the ports.
    NSLog("TembraFire::arInit(): cannot allocate a grid of %d x %d cells, keeping %d x %d", currentPixelsWide,
          currentPixelsHigh, previousWide, previousHigh);
    currentPixelsWide = previousWide;
    currentPixelsHigh = previousHigh;
    inputPixelsWide.setIndexValue(static_cast<uint32_t>(previousWide));
    inputPixelsHigh.setIndexValue(static_cast<uint32_t>(previousHigh));
}

// Reaction, cell by cell, then the copy into heat2 and oxygen2.
void TembraFire::react(float energy_barrier, float rate_constant, float maxrate, float Exothermicness) {
    float* __restrict const heat = grid->heat;
    float* __restrict const oxygen = grid->oxygen;
    float* __restrict const fuel = grid->fuel;
    float* __restrict const heat2 = grid->heat2;
    float* __restrict const oxygen2 = grid->oxygen2;
    const size_t cells = grid->cells();
#pragma omp simd
    for (size_t i = 0; i < cells; ++i) {
        const float O = oxygen[i], F = fuel[i], H = heat[i];
        float reaction_rate = ((O * F) * H - energy_barrier) * rate_constant;
        // Lower bound first, so a negative maxrate wins.
        reaction_rate = 0.0f > reaction_rate ? 0.0f : reaction_rate;
        reaction_rate = reaction_rate > maxrate ? maxrate : reaction_rate;
        float newOxygen = O - reaction_rate;
        float newFuel = F - reaction_rate;
        const float newHeat = reaction_rate * Exothermicness + H;
        newOxygen = 0.0f > newOxygen ? 0.0f : newOxygen;
        newFuel = 0.0f > newFuel ? 0.0f : newFuel;
        oxygen[i] = newOxygen;
        fuel[i] = newFuel;
        heat[i] = newHeat;
        heat2[i] = newHeat;
        oxygen2[i] = newOxygen;
    }
}

// Forward scatter of heat and oxygen from heat/oxygen into heat2/oxygen2
// (the last source in scan order wins; the ten top and bottom rows are never
// sources), with the next step's displacements drawn as each cell's old
// ones have been used.
void TembraFire::transport() {
    const int32_t W = grid->width(), H = grid->height();
    const float* const heat = grid->heat;
    const float* const oxygen = grid->oxygen;
    float* const heat2 = grid->heat2;
    float* const oxygen2 = grid->oxygen2;
    float* const vx = grid->vx;
    float* const vy = grid->vy;
    for (int32_t y = 10; y < H - 10; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            const size_t ind = static_cast<size_t>(y) * W + x;
            // The integer part (toward zero) of a sum lies in 0..N-1 exactly
            // when the sum lies in (-1, N).
            const float ysum = vy[ind] + static_cast<float>(y);
            const float xsum = vx[ind] + static_cast<float>(x);
            if (ysum > -1.0f && ysum < static_cast<float>(H) && xsum > -1.0f && xsum < static_cast<float>(W)) {
                const auto ytarget = static_cast<int32_t>(ysum);
                const auto xtarget = static_cast<int32_t>(xsum);
                const size_t target = static_cast<size_t>(ytarget) * W + xtarget;
                heat2[target] = heat[ind];
                oxygen2[target] = oxygen[ind];
            }
        }
    }
    drawDisplacements(vx, vy, grid->cells(), 5.0f, -2.0f, -2.0f);
}

// Copy back, cooling, and the bytes of the heat, oxygen and visible images.
void TembraFire::settle(float coolrate) {
    float* __restrict const heat = grid->heat;
    float* __restrict const oxygen = grid->oxygen;
    const float* __restrict const heat2 = grid->heat2;
    const float* __restrict const oxygen2 = grid->oxygen2;
    uint8_t* __restrict const bufHeat = grid->bufHeat;
    uint8_t* __restrict const bufOxygen = grid->bufOxygen;
    uint8_t* __restrict const bufVisible = grid->bufVisible;
    const size_t cells = grid->cells();
#pragma omp simd
    for (size_t i = 0; i < cells; ++i) {
        const float cooled = heat2[i] * coolrate;
        heat[i] = cooled;
        oxygen[i] = oxygen2[i];
        const uint32_t h = fireByteValue(cooled);
        const uint32_t o = fireByteValue(oxygen2[i]);
        const uint32_t a = fireVisibleAlpha(oxygen2[i]);
        // Grey pixels: red, green and blue the same byte, then alpha. The
        // visible colour is stored as computed, not multiplied by its alpha.
        storePixel(bufHeat + 4 * i, h * 0x010101u | 0xFF000000u);
        storePixel(bufOxygen + 4 * i, o * 0x010101u | 0xFF000000u);
        storePixel(bufVisible + 4 * i, h * 0x010101u | a << 24);
    }
}

void TembraFire::publishImages() {
    outputImageHeat.setImageValue(bufferToQCGLCGImage(grid->bufHeat));
    outputImageOxygen.setImageValue(bufferToQCGLCGImage(grid->bufOxygen));
    outputImageVisible.setImageValue(bufferToQCGLCGImage(grid->bufVisible));
}

// The image copies the buffer's pixels once; later writes to the buffer do
// not reach it. A context or image that cannot be made is passed on as it
// is, so the port then receives an empty image.
ImageRef TembraFire::bufferToQCGLCGImage(uint8_t* _scratchBufferPtr) const {
    const auto W = static_cast<size_t>(currentPixelsWide), H = static_cast<size_t>(currentPixelsHigh);
    CGContextRef bitmapContext =
        CGBitmapContextCreate(_scratchBufferPtr, W, H, 8, 4 * W, _colorspace, kCGImageAlphaPremultipliedLast);
    CGImageRef bitmapImage = CGBitmapContextCreateImage(bitmapContext.get());
    ImageRef qcglOut = std::make_shared<const QCGLCGImage>(bitmapImage, nullptr);
    CGImageRelease(bitmapImage);
    CGContextRelease(bitmapContext);
    return qcglOut;
}
