#include "SoundPlayTesting.h"
#include "patches/sound/Sinewave.h"
#include "patches/sound/TembraImageWithSoundFile.h"
#include "platform/graphics/NSImage.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Bytes of a width x height bitmap, 4 bytes per pixel, byteAt(row, column) in
// the first byte of each pixel.
std::vector<uint8_t> bitmapBytes(int width, int height, const std::function<uint8_t(int, int)>& byteAt) {
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * 4, 0xEE);
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) bytes[(row * width + column) * 4] = byteAt(row, column);
    return bytes;
}

void give(Sinewave& osc, const std::vector<uint8_t>& bytes, int width, int height) {
    osc.setBitmapData(bytes.data(), static_cast<int32_t>(bytes.size()));
    osc.setBytesPerRow(width * 4);
    osc.setSamplesPerPixel(4);
    osc.setWidth(width);
    osc.setHeight(height);
}

class SinewaveTest : public testing::Test {
protected:
    LogCapture log;
    std::shared_ptr<TestAudioDevice> device = useTestDevice(512);
};

TEST_F(SinewaveTest, StateMachineAnswers) {
    Sinewave osc;
    EXPECT_FALSE(osc.start()) << "not set up";
    EXPECT_FALSE(osc.stop());
    EXPECT_EQ(log.count("Sinewave::start()"), 1u);
    EXPECT_EQ(log.count("Sinewave::stop()"), 1u);

    CaptureStderr();
    osc.setup();
    EXPECT_EQ(GetCapturedStderr(), "deviceBufferSize = 4096\n");
    EXPECT_TRUE(log.contains("Sinewave::setup()"));
    EXPECT_FALSE(osc.stop()) << "ready, not playing";
    EXPECT_TRUE(osc.start());
    EXPECT_EQ(device->startedProcCount(), 1u);
    EXPECT_FALSE(osc.start()) << "already playing";
    EXPECT_EQ(log.count("Sinewave::start()"), 3u);
    EXPECT_TRUE(osc.stop());
    EXPECT_EQ(device->startedProcCount(), 0u);
    EXPECT_FALSE(osc.stop());
    EXPECT_TRUE(osc.start()) << "a stopped oscillator starts again";
    EXPECT_TRUE(osc.stop());
}

TEST_F(SinewaveTest, DeviceProblemsLeaveItSilentWithTheirMessage) {
    struct Case {
        std::function<void()> arrange;
        std::string message;
    };
    AudioStreamBasicDescription integer = device->streamFormat();
    integer.mFormatFlags = kAudioFormatFlagIsSignedInteger;
    AudioStreamBasicDescription compressed = device->streamFormat();
    compressed.mFormatID = fourCharCode("aac ");
    const std::vector<Case> cases = {
        {[&] { device->setStreamFormat(integer); },
         "deviceBufferSize = 4096\nSorry, currently only works with float format....\n"},
        {[&] { device->setStreamFormat(compressed); }, "deviceBufferSize = 4096\nmFormatID !=  kAudioFormatLinearPCM\n"},
        {[&] { AudioHardware::shared().setDefaultOutputDevice(kAudioDeviceUnknown); },
         "get kAudioHardwarePropertyDefaultOutputDevice error " +
             std::to_string(static_cast<long>(kAudioHardwareBadDeviceError)) + "\n"},
    };
    for (const Case& c : cases) {
        c.arrange();
        Sinewave osc;
        CaptureStderr();
        osc.setup();
        EXPECT_EQ(GetCapturedStderr(), c.message);
        EXPECT_FALSE(osc.isInitialized());
        EXPECT_FALSE(osc.start());
        EXPECT_EQ(device->startedProcCount(), 0u);
    }
}

TEST_F(SinewaveTest, BytesPlayAsSamplesLeftFromTheUpperRow) {
    Sinewave osc;
    // Column 0: 128 over 255; column 1: 0 over 128; then a ramp.
    const auto bytes = bitmapBytes(512, 2, [](int row, int column) -> uint8_t {
        if (column == 0) return row == 0 ? 128 : 255;
        if (column == 1) return row == 0 ? 0 : 128;
        return static_cast<uint8_t>(row == 0 ? column : 255 - column);
    });
    give(osc, bytes, 512, 2);
    osc.setup();
    ASSERT_TRUE(osc.start());
    const std::vector<float> out = device->pullCycle();
    ASSERT_EQ(out.size(), 1024u);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 1.0f);
    EXPECT_EQ(out[2], static_cast<float>(-128 / 127.0));
    EXPECT_NEAR(out[2], -1.00787f, 1e-5f);
    EXPECT_EQ(out[3], 0.0f);
    for (int column = 2; column < 512; ++column) {
        ASSERT_EQ(out[2 * column], sampleOf(static_cast<uint8_t>(column)));
        ASSERT_EQ(out[2 * column + 1], sampleOf(static_cast<uint8_t>(255 - column)));
    }
}

TEST_F(SinewaveTest, EveryRowPairPlaysAndTheLoopIsLoggedOncePerPass) {
    for (const int height : {2, 4, 6}) {
        log.clear();
        Sinewave osc;
        // Each row holds its own byte, so the output tells which rows play.
        const auto bytes = bitmapBytes(512, height, [](int row, int) { return static_cast<uint8_t>(10 + row); });
        give(osc, bytes, 512, height);
        osc.setup();
        ASSERT_TRUE(osc.start());
        const int pairs = height / 2;
        const std::string loop = "loop 512x" + std::to_string(height);
        for (int cycle = 0; cycle < 3 * pairs; ++cycle) {
            const std::vector<float> out = device->pullCycle();
            const int pair = cycle % pairs;
            EXPECT_EQ(out[0], sampleOf(static_cast<uint8_t>(10 + 2 * pair))) << height << " rows, cycle " << cycle;
            EXPECT_EQ(out[1], sampleOf(static_cast<uint8_t>(11 + 2 * pair))) << height << " rows, cycle " << cycle;
            EXPECT_EQ(out[1022], out[0]);
            EXPECT_EQ(osc.curX(), 0);
            EXPECT_EQ(osc.curY(), (pair + 1) % pairs * 2);
            EXPECT_EQ(log.count(loop), static_cast<size_t>((cycle + 1) / pairs)) << height << " rows";
        }
        osc.stop();
    }
}

TEST_F(SinewaveTest, WritesNothingWithoutPixelsAndNeverPastTheBuffer) {
    Sinewave osc;
    osc.setup();
    ASSERT_TRUE(osc.start());
    std::vector<float> out(1024, 7.0f);
    AudioBufferList list;
    list.mNumberBuffers = 1;
    list.mBuffers[0] = AudioBuffer{2, 4096, out.data()};
    device->pullCycle(&list);
    EXPECT_EQ(out, std::vector<float>(1024, 7.0f)) << "no bitmap: output untouched";

    const auto bytes = bitmapBytes(512, 2, [](int, int) { return uint8_t{255}; });
    give(osc, bytes, 512, 2);
    // The device asks for 512 frames but hands a buffer of 100 frames and
    // half a frame: only 100 frames may be written.
    list.mBuffers[0].mDataByteSize = 100 * 8 + 4;
    device->pullCycle(&list);
    EXPECT_EQ(out[199], 1.0f);
    EXPECT_EQ(out[200], 7.0f);
    EXPECT_EQ(osc.curX(), 100);

    // A geometry larger than the copy plays nothing rather than reading past it.
    osc.setHeight(4);
    device->pullCycle(&list);
    EXPECT_EQ(osc.curX(), 100);
    osc.stop();
}

TEST_F(SinewaveTest, NewPixelsWhilePlayingContinueFromTheCursor) {
    Sinewave osc;
    const auto first = bitmapBytes(512, 4, [](int, int) { return uint8_t{200}; });
    const auto second = bitmapBytes(512, 4, [](int row, int) { return static_cast<uint8_t>(row * 20); });
    give(osc, first, 512, 4);
    device->setBufferSize(700 * 8);
    osc.setup();
    ASSERT_TRUE(osc.start());
    device->pullCycle();
    ASSERT_EQ(osc.curX(), 188);
    ASSERT_EQ(osc.curY(), 2);
    osc.setBitmapData(second.data(), static_cast<int32_t>(second.size()));
    EXPECT_TRUE(log.contains("free2"));
    EXPECT_EQ(osc.curX(), 188);
    const std::vector<float> out = device->pullCycle();
    EXPECT_EQ(out[0], sampleOf(40)) << "rows 2 and 3 of the new pixels";
    EXPECT_EQ(out[1], sampleOf(60));
    EXPECT_EQ(out[2 * 324], sampleOf(0)) << "then the loop to rows 0 and 1";
    EXPECT_EQ(out[2 * 324 + 1], sampleOf(20));
    osc.stop();
}

TEST_F(SinewaveTest, SoundImageComesBackWithin1Over127) {
    // One second of a 441 Hz tone on the left and its inverse on the right.
    std::vector<float> samples;
    for (int i = 0; i < 44100; ++i) {
        const float s = static_cast<float>(std::sin(2 * M_PI * 441 * i / 44100.0) * 0.9);
        samples.push_back(s);
        samples.push_back(-s);
    }
    TembraImageWithSoundFile maker("maker");
    const ImageRef image = maker.QCGLCGImageForSound(samples.data(), static_cast<uint32_t>(samples.size()));
    ASSERT_TRUE(image);
    const auto bitmap = std::dynamic_pointer_cast<const NSBitmapImageRep>(image->NSImage()->representations()[0]);
    ASSERT_TRUE(bitmap);

    Sinewave osc;
    osc.setBitmapData(bitmap->bitmapData(), static_cast<int32_t>(bitmap->bytesPerRow() * bitmap->pixelsHigh()));
    osc.setBytesPerRow(static_cast<int32_t>(bitmap->bytesPerRow()));
    osc.setSamplesPerPixel(static_cast<int32_t>(bitmap->samplesPerPixel()));
    osc.setWidth(static_cast<int32_t>(bitmap->pixelsWide()));
    osc.setHeight(static_cast<int32_t>(bitmap->pixelsHigh()));
    osc.setup();
    ASSERT_TRUE(osc.start());
    const size_t loopFrames = static_cast<size_t>(bitmap->pixelsHigh()) / 2 * 512;
    std::vector<float> played;
    while (played.size() < 2 * loopFrames + 4) {
        const auto out = device->pullCycle();
        played.insert(played.end(), out.begin(), out.end());
    }
    for (size_t i = 0; i < samples.size(); ++i) ASSERT_NEAR(played[i], samples[i], 1.0 / 127) << "value " << i;
    // The tail of the last row pair is silence, then the sound starts over.
    for (size_t i = samples.size(); i < 2 * loopFrames; ++i) ASSERT_EQ(played[i], 0.0f) << "value " << i;
    EXPECT_EQ(played[2 * loopFrames + 2], played[2]);
    osc.stop();
}

}  // namespace
