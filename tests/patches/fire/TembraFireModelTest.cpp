#include "FireReference.h"
#include "FireTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

bool inFuelRectangle(int x, int y, int W, int H) {
    return (y >= 3 * H / 5 && y < 4 * H / 5 && x >= 3 * W / 5 && x < 4 * W / 5) ||
           (y >= 440 * H / 512 && y < 450 * H / 512 && x >= W / 5 && x < 2 * W / 5);
}

// What the patch holds after a step, kept so the reference can be run
// afterwards on the same stretch of the shared generator.
struct Snapshot {
    int W, H;
    std::vector<float> heat, oxygen, fuel, vx, vy;
    ImageRef heatImage, oxygenImage, visibleImage;
};

Snapshot snapshotOf(const TembraFire& fire) {
    const FireGrid& g = *fire.fireGrid();
    const size_t n = g.cells();
    return {g.width(),           g.height(),          copyOf(g.heat, n),
            copyOf(g.oxygen, n), copyOf(g.fuel, n),   copyOf(g.vx, n),
            copyOf(g.vy, n),     fire.outputImageHeat.imageValue(), fire.outputImageOxygen.imageValue(),
            fire.outputImageVisible.imageValue()};
}

bool samePixels(const ImageRef& image, const std::vector<uint8_t>& bytes) {
    return image && image->CGImage()->pixels.size() == bytes.size() &&
           std::memcmp(image->CGImage()->pixels.data(), bytes.data(), bytes.size()) == 0;
}

// Bit for bit: memcmp rather than float comparison, so NaN and -0 count too.
bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

void expectSameState(const Snapshot& patch, const FireReference& ref, int stepNumber) {
    ASSERT_EQ(patch.W, ref.W);
    ASSERT_EQ(patch.H, ref.H);
    EXPECT_TRUE(sameBits(patch.heat, ref.heat)) << "heat after step " << stepNumber;
    EXPECT_TRUE(sameBits(patch.oxygen, ref.oxygen)) << "oxygen after step " << stepNumber;
    EXPECT_TRUE(sameBits(patch.fuel, ref.fuel)) << "fuel after step " << stepNumber;
    EXPECT_TRUE(sameBits(patch.vx, ref.vx)) << "vx after step " << stepNumber;
    EXPECT_TRUE(sameBits(patch.vy, ref.vy)) << "vy after step " << stepNumber;
    EXPECT_TRUE(samePixels(patch.heatImage, ref.bufHeat)) << "heat image after step " << stepNumber;
    EXPECT_TRUE(samePixels(patch.oxygenImage, ref.bufOxygen)) << "oxygen image after step " << stepNumber;
    EXPECT_TRUE(samePixels(patch.visibleImage, ref.bufVisible)) << "visible image after step " << stepNumber;
}

}  // namespace

TEST(TembraFireModel, NewPatchHasInitialStateWithFuelRectangles) {
    restartRandom(7);
    TembraFire fire("fire");
    EXPECT_EQ(fire.pixelsWide(), 320);
    EXPECT_EQ(fire.pixelsHigh(), 240);
    EXPECT_EQ(fire.inputPixelsWide.indexValue(), 320u);
    EXPECT_EQ(fire.inputPixelsHigh.maxIndexValue(), 4096u);
    EXPECT_EQ(fire.inputReactionRateCoefficient.doubleValue(), 0.01);
    EXPECT_EQ(fire.inputCoolRate.doubleValue(), 0.99);

    const FireGrid& g = *fire.fireGrid();
    ASSERT_EQ(g.cells(), 320u * 240u);
    restartRandom(7);
    size_t fuelled = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const size_t i = static_cast<size_t>(y) * 320 + x;
            ASSERT_EQ(g.heat[i], 0.3f);
            ASSERT_EQ(g.oxygen[i], 1.0f);
            const bool fuelHere = inFuelRectangle(x, y, 320, 240);
            ASSERT_EQ(g.fuel[i], fuelHere ? 1.0f : 0.1f) << x << "," << y;
            fuelled += fuelHere;
            // The generator is read in cell order, vx before vy.
            ASSERT_EQ(g.vx[i], referenceFraction() * 4.0f - 2.0f);
            ASSERT_EQ(g.vy[i], referenceFraction() * 4.0f - 3.0f);
        }
    // Rows 144..191 by columns 192..255, and rows 206..209 by columns 64..127.
    EXPECT_EQ(fuelled, 48u * 64u + 4u * 64u);
    EXPECT_EQ(g.fuel[144 * 320 + 192], 1.0f);
    EXPECT_EQ(g.fuel[191 * 320 + 255], 1.0f);
    EXPECT_EQ(g.fuel[209 * 320 + 127], 1.0f);
    EXPECT_EQ(g.fuel[210 * 320 + 127], 0.1f);
}

TEST(TembraFireModel, ZeroSizeBecomesOneAndIsWrittenBack) {
    TembraFire fire("fire");
    fire.inputPixelsWide.setIndexValue(0);
    step(fire);
    EXPECT_EQ(fire.inputPixelsWide.indexValue(), 1u);
    EXPECT_EQ(fire.pixelsWide(), 1);
    EXPECT_EQ(fire.fireGrid()->width(), 1);
    EXPECT_EQ(fire.fireGrid()->height(), 240);

    // 1 x 1: both fuel rectangles are empty.
    fire.inputPixelsHigh.setIndexValue(0);
    step(fire);
    EXPECT_EQ(fire.inputPixelsHigh.indexValue(), 1u);
    ASSERT_EQ(fire.fireGrid()->cells(), 1u);
    const float rate = ((1.0f * 0.1f) * 0.3f - 0.0f) * 0.01f;
    EXPECT_EQ(fire.fireGrid()->fuel[0], 0.1f - rate);
    for (const QCGLImagePort* port : {&fire.outputImageHeat, &fire.outputImageOxygen, &fire.outputImageVisible}) {
        const CGImage& image = *port->imageValue()->CGImage();
        EXPECT_EQ(image.width, 1u);
        EXPECT_EQ(image.height, 1u);
        EXPECT_EQ(image.bytesPerRow, 4u);
    }
}

TEST(TembraFireModel, FirstStepReactsAtTheExpectedRates) {
    TembraFire fire("fire");
    setSize(fire, 320, 20);  // too low for any transport
    step(fire);
    FireGrid& g = *fire.fireGrid();
    const float outside = ((1.0f * 0.1f) * 0.3f - 0.0f) * 0.01f;
    const float inside = ((1.0f * 1.0f) * 0.3f - 0.0f) * 0.01f;
    EXPECT_NEAR(outside, 0.0003f, 1e-9f);
    EXPECT_NEAR(inside, 0.003f, 1e-9f);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 320; ++x) {
            const bool fuelHere = inFuelRectangle(x, y, 320, 20);
            const float rate = fuelHere ? inside : outside;
            ASSERT_EQ(cell(g.oxygen, g, x, y), 1.0f - rate) << x << "," << y;
            ASSERT_EQ(cell(g.fuel, g, x, y), fuelHere ? 1.0f : 0.1f - rate) << x << "," << y;
            ASSERT_EQ(cell(g.heat, g, x, y), (rate * 1.0f + 0.3f) * 0.99f) << x << "," << y;
        }
}

TEST(TembraFireModel, OnlyRowsTenFromEitherEdgeAreSources) {
    for (const int high : {20, 21}) {
        TembraFire fire("fire");
        setSize(fire, 8, static_cast<uint32_t>(high));
        step(fire);  // builds the grid
        freezeChemistry(fire);
        FireGrid& g = *fire.fireGrid();
        for (size_t i = 0; i < g.cells(); ++i) g.vx[i] = g.vy[i] = 1.5f;
        cell(g.heat, g, 5, 10) = 0.9f;
        const std::vector<float> before = copyOf(g.heat, g.cells());
        step(fire);
        if (high == 20) {
            EXPECT_EQ(copyOf(g.heat, g.cells()), before);
        } else {
            // Row 10 is the one source row; everything moves one cell right and down.
            EXPECT_EQ(cell(g.heat, g, 6, 11), 0.9f);
            EXPECT_NE(copyOf(g.heat, g.cells()), before);
        }
    }
}

TEST(TembraFireModel, TransportTruncatesTowardZeroAtColumnZero) {
    for (const float vx : {-0.5f, -1.5f}) {
        TembraFire fire("fire");
        setSize(fire, 4, 21);
        step(fire);
        freezeChemistry(fire);
        FireGrid& g = *fire.fireGrid();
        for (size_t i = 0; i < g.cells(); ++i) g.vx[i] = g.vy[i] = 0.0f;
        cell(g.heat, g, 0, 10) = 0.9f;
        cell(g.oxygen, g, 0, 10) = 0.25f;
        cell(g.vx, g, 0, 10) = vx;
        cell(g.vy, g, 0, 10) = 1.5f;
        const float heatBelow = cell(g.heat, g, 0, 11), oxygenBelow = cell(g.oxygen, g, 0, 11);
        step(fire);
        if (vx == -0.5f) {
            EXPECT_EQ(cell(g.heat, g, 0, 11), 0.9f);
            EXPECT_EQ(cell(g.oxygen, g, 0, 11), 0.25f);
        } else {
            // Column -1: written nowhere, and the source keeps its own value.
            EXPECT_EQ(cell(g.heat, g, 0, 11), heatBelow);
            EXPECT_EQ(cell(g.oxygen, g, 0, 11), oxygenBelow);
            EXPECT_EQ(cell(g.heat, g, 0, 10), 0.9f);
        }
    }
}

TEST(TembraFireModel, SizeChangeRestartsTheModelOnce) {
    const float d = 0.01f, c = 0.99f;
    // Only the height changes: the whole model starts over.
    {
        TembraFire fire("fire");
        for (int i = 0; i < 3; ++i) step(fire);
        fire.inputPixelsHigh.setIndexValue(100);
        restartRandom(11);
        step(fire);
        restartRandom(11);
        FireReference ref(320, 100);
        ref.step({0.0f, d, 1.0f, 1.0f, c});
        expectSameState(snapshotOf(fire), ref, 1);
    }
    // Both change in one execution: still one restart (one set of draws).
    {
        TembraFire fire("fire");
        setSize(fire, 50, 60);
        restartRandom(12);
        step(fire);
        restartRandom(12);
        FireReference ref(50, 60);
        ref.step({0.0f, d, 1.0f, 1.0f, c});
        expectSameState(snapshotOf(fire), ref, 1);
    }
}

TEST(TembraFireModel, NegativeMaximumRateIsEveryCellsRate) {
    TembraFire fire("fire");
    setSize(fire, 40, 20);
    fire.inputMaxReactionRate.setDoubleValue(-0.01);
    step(fire);
    step(fire);
    const FireGrid& g = *fire.fireGrid();
    const float rate = -0.01f;
    const float oxygen = (1.0f - rate) - rate;
    const float heat = ((rate * 1.0f + 0.3f) * 0.99f + rate) * 0.99f;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            const size_t i = static_cast<size_t>(y) * 40 + x;
            ASSERT_EQ(g.oxygen[i], oxygen);
            ASSERT_EQ(g.heat[i], heat);
            ASSERT_EQ(g.fuel[i], inFuelRectangle(x, y, 40, 20) ? 1.0f : (0.1f - rate) - rate);
        }
}

// Bit for bit against the reference after every step, at odd sizes on both
// sides of the size from which the patch shares a step with its worker.
TEST(TembraFireDeterminism, StepsMatchAPlainReferenceBitForBit) {
    struct Case {
        int W, H, steps;
        Chemistry chemistry;
    };
    // Defaults on the usual grid; then odd sizes, hot and fast chemistry that
    // drives oxygen and fuel to their floor of 0 and heat past 1.
    for (const Case& k : {Case{320, 240, 6, defaultChemistry}, Case{331, 257, 8, {0.001f, 0.5f, 0.08f, 3.0f, 0.97f}},
                          Case{37, 41, 25, {0.001f, 0.5f, 0.08f, 3.0f, 0.97f}}, Case{3, 25, 10, {0.0f, 1.0f, 2.0f, 1.0f, 1.0f}}}) {
        SCOPED_TRACE(testing::Message() << k.W << " x " << k.H);
        restartRandom(42);
        TembraFire fire("fire");
        setSize(fire, static_cast<uint32_t>(k.W), static_cast<uint32_t>(k.H));
        setChemistry(fire, k.chemistry);
        // The patch starts at 320 x 240 and starts over at any other size.
        if (k.W != 320 || k.H != 240) FireReference(320, 240);
        FireReference ref(k.W, k.H);
        for (int s = 1; s <= k.steps; ++s) {
            step(fire);
            ref.step(k.chemistry);
            expectSameState(snapshotOf(fire), ref, s);
            if (testing::Test::HasFailure()) return;
        }
    }
}

// Two patches in one process take turns on one sequence, in the order the
// host runs them.
TEST(TembraFireDeterminism, TwoPatchesDrawFromOneSequenceInTheOrderTheyRun) {
    restartRandom(9);
    // One number drawn elsewhere first: the patches' pairs then straddle the
    // generator's blocks.
    FireRandom::shared().next();
    std::rand();
    TembraFire first("first"), second("second");
    for (int created = 0; created < 2; ++created) FireReference(320, 240);
    setSize(first, 45, 33);
    setSize(second, 301, 263);
    std::optional<FireReference> firstRef, secondRef;
    for (int s = 1; s <= 3; ++s) {
        step(first);
        if (!firstRef) firstRef.emplace(45, 33);
        firstRef->step(defaultChemistry);
        expectSameState(snapshotOf(first), *firstRef, s);
        step(second);
        if (!secondRef) secondRef.emplace(301, 263);
        secondRef->step(defaultChemistry);
        expectSameState(snapshotOf(second), *secondRef, s);
        if (testing::Test::HasFailure()) return;
    }
}

// Other code in the process that seeds and calls rand() does not change the
// fire.
TEST(TembraFireDeterminism, OtherUsersOfRandDoNotChangeTheFire) {
    const auto run = [](bool disturbed) {
        FireRandom::shared().restart(3);
        TembraFire fire("fire");
        setSize(fire, 64, 48);
        for (int s = 0; s < 3; ++s) {
            if (disturbed) std::srand(static_cast<unsigned>(std::rand()) + 77u);
            step(fire);
        }
        return snapshotOf(fire);
    };
    const Snapshot quiet = run(false), disturbed = run(true);
    EXPECT_TRUE(sameBits(disturbed.vx, quiet.vx));
    EXPECT_TRUE(sameBits(disturbed.heat, quiet.heat));
    const PageAlignedBuffer& pixels = quiet.visibleImage->CGImage()->pixels;
    EXPECT_TRUE(samePixels(disturbed.visibleImage, {pixels.data(), pixels.data() + pixels.size()}));
}
