// Built with ThreadSanitizer: pixels replaced while another thread pulls IO
// cycles must never be read after they are freed, nor mixed within a cycle.
#include "SoundPlayTesting.h"
#include "patches/sound/Sinewave.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(SinewaveSwap, PixelsReplacedWhileCyclesRun) {
    LogCapture log;
    auto device = useTestDevice(256);
    Sinewave osc;
    osc.setBytesPerRow(512 * 4);
    osc.setSamplesPerPixel(4);
    osc.setWidth(512);
    osc.setHeight(4);
    std::vector<uint8_t> pixels(512 * 4 * 4, 1);
    osc.setBitmapData(pixels.data(), static_cast<int32_t>(pixels.size()));
    osc.setup();
    ASSERT_TRUE(osc.start());

    std::atomic<bool> done{false};
    std::atomic<int> mixedCycles{0}, cycles{0};
    std::thread io([&] {
        while (!done) {
            const std::vector<float> out = device->pullCycle();
            // Every copy is one byte throughout, so a cycle is all one value.
            for (float value : out)
                if (value != out[0]) {
                    ++mixedCycles;
                    break;
                }
            ++cycles;
        }
    });
    for (int round = 2; round < 400; ++round) {
        std::fill(pixels.begin(), pixels.end(), static_cast<uint8_t>(round % 256));
        osc.setBitmapData(pixels.data(), static_cast<int32_t>(pixels.size()));
        const int32_t x = osc.curX(), y = osc.curY();
        ASSERT_TRUE(x >= 0 && x < 512 && (y == 0 || y == 2));
    }
    while (cycles < 100) std::this_thread::yield();
    done = true;
    io.join();
    EXPECT_EQ(mixedCycles.load(), 0);
    EXPECT_TRUE(osc.stop());
}

}  // namespace
