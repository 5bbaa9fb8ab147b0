#include "AudioTesting.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/CoreAudio.h"
#include "platform/audio/TestAudioDevice.h"
#include "platform/audio/WAVFileAudioDevice.h"
#include "tests/support/TestSupport.h"

#include <sndfile.h>

#include <limits>
#include <vector>

namespace {

// Writes `value` on the left and -value on the right of every frame given.
OSStatus constantProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                      AudioBufferList* out, const AudioTimeStamp*, void* clientData) {
    const float value = *static_cast<const float*>(clientData);
    auto* samples = static_cast<float*>(out->mBuffers[0].mData);
    const uint32_t count = out->mBuffers[0].mDataByteSize / sizeof(float);
    for (uint32_t i = 0; i + 1 < count; i += 2) {
        samples[i] += value;
        samples[i + 1] -= value;
    }
    return 0;
}

AudioDeviceID makeDefault(const std::shared_ptr<AudioDevice>& device) {
    const AudioDeviceID id = AudioHardware::shared().addDevice(device);
    AudioHardware::shared().setDefaultOutputDevice(id);
    return id;
}

TEST(AudioDevices, DefaultOutputAndItsProperties) {
    AudioHardware::shared().setDefaultOutputDevice(kAudioDeviceUnknown);
    AudioDeviceID device = 12345;
    uint32_t size = sizeof device;
    EXPECT_EQ(AudioHardwareGetProperty(kAudioHardwarePropertyDefaultOutputDevice, &size, &device),
              kAudioHardwareBadDeviceError);

    auto test = TestAudioDevice::create();
    test->setBufferSize(1234);
    const AudioDeviceID id = makeDefault(test);
    size = sizeof device;
    ASSERT_EQ(AudioHardwareGetProperty(kAudioHardwarePropertyDefaultOutputDevice, &size, &device), 0);
    EXPECT_EQ(device, id);
    size = 2;
    EXPECT_EQ(AudioHardwareGetProperty(kAudioHardwarePropertyDefaultOutputDevice, &size, &device),
              kAudioHardwareBadPropertySizeError);

    uint32_t bufferSize = 0;
    size = sizeof bufferSize;
    ASSERT_EQ(AudioDeviceGetProperty(id, 0, false, kAudioDevicePropertyBufferSize, &size, &bufferSize), 0);
    EXPECT_EQ(bufferSize, 1234u);
    AudioStreamBasicDescription format;
    size = sizeof format;
    ASSERT_EQ(AudioDeviceGetProperty(id, 0, false, kAudioDevicePropertyStreamFormat, &size, &format), 0);
    EXPECT_EQ(format.mFormatID, kAudioFormatLinearPCM);
    EXPECT_TRUE(format.mFormatFlags & kAudioFormatFlagIsFloat);
    EXPECT_EQ(format.mBytesPerFrame, 8u);
    size = 4;
    EXPECT_EQ(AudioDeviceGetProperty(id, 0, false, kAudioDevicePropertyStreamFormat, &size, &format),
              kAudioHardwareBadPropertySizeError);
    size = sizeof bufferSize;
    EXPECT_EQ(AudioDeviceGetProperty(id, 0, true, kAudioDevicePropertyBufferSize, &size, &bufferSize),
              kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(AudioDeviceGetProperty(9999, 0, false, kAudioDevicePropertyBufferSize, &size, &bufferSize),
              kAudioHardwareBadDeviceError);
}

TEST(AudioDevices, IOProcsRunOnlyWhileStartedAndAreToldApartByClientData) {
    auto test = TestAudioDevice::create();
    test->setBufferSize(4 * 8);
    const AudioDeviceID id = makeDefault(test);
    float quarter = 0.25f, half = 0.5f;

    EXPECT_EQ(AudioDeviceStart(id, constantProc, &quarter), kAudioHardwareIllegalOperationError);
    ASSERT_EQ(AudioDeviceAddIOProc(id, constantProc, &quarter), 0);
    EXPECT_EQ(AudioDeviceAddIOProc(id, constantProc, &quarter), kAudioHardwareIllegalOperationError);
    ASSERT_EQ(AudioDeviceAddIOProc(id, constantProc, &half), 0);
    EXPECT_EQ(test->pullCycle(), std::vector<float>(8, 0.0f)) << "registered but not started";

    ASSERT_EQ(AudioDeviceStart(id, constantProc, &quarter), 0);
    ASSERT_EQ(AudioDeviceStart(id, constantProc, &half), 0);
    EXPECT_EQ(test->pullCycle(), (std::vector<float>{0.75f, -0.75f, 0.75f, -0.75f, 0.75f, -0.75f, 0.75f, -0.75f}));

    ASSERT_EQ(AudioDeviceStop(id, constantProc, &quarter), 0);
    EXPECT_EQ(test->pullCycle()[0], 0.5f);
    EXPECT_EQ(test->startedProcCount(), 1u);
    ASSERT_EQ(AudioDeviceRemoveIOProc(id, constantProc, &half), 0);
    EXPECT_EQ(test->pullCycle()[0], 0.0f);
    EXPECT_EQ(AudioDeviceStop(id, constantProc, &half), kAudioHardwareIllegalOperationError);
    EXPECT_EQ(AudioDeviceRemoveIOProc(id, constantProc, &quarter), 0);
    EXPECT_EQ(AudioDeviceRemoveIOProc(id, constantProc, &quarter), kAudioHardwareIllegalOperationError);
}

TEST(AudioDevices, WAVFileHoldsExactlyTheTimeItWasAdvancedTo) {
    TempDir dir;
    const std::string path = (dir.path() / "out.wav").string();
    std::string error;
    auto wav = WAVFileAudioDevice::create(path, &error);
    ASSERT_TRUE(wav) << error;
    const AudioDeviceID id = AudioHardware::shared().addDevice(wav);
    float quarter = 0.25f, half = 0.5f;
    ASSERT_EQ(AudioDeviceAddIOProc(id, constantProc, &quarter), 0);
    ASSERT_EQ(AudioDeviceAddIOProc(id, constantProc, &half), 0);
    ASSERT_EQ(AudioDeviceStart(id, constantProc, &quarter), 0);
    ASSERT_EQ(AudioDeviceStart(id, constantProc, &half), 0);

    const size_t switchFrame = 14699;  // round(0.3333 s x 44100)
    wav->advanceTo(0.3333);
    wav->advanceTo(0.1);  // time never goes back
    wav->advanceTo(std::numeric_limits<double>::infinity());  // not a time: nothing
    wav->advanceTo(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(wav->framesWritten(), switchFrame);
    ASSERT_EQ(AudioDeviceStop(id, constantProc, &half), 0);
    wav->advanceTo(1.0);
    EXPECT_EQ(wav->framesWritten(), 44100u);
    wav->close();
    wav->advanceTo(2.0);
    EXPECT_EQ(wav->framesWritten(), 44100u);
    AudioDeviceRemoveIOProc(id, constantProc, &quarter);
    AudioDeviceRemoveIOProc(id, constantProc, &half);

    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.frames, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    std::vector<float> samples(static_cast<size_t>(info.frames) * 2);
    ASSERT_EQ(sf_readf_float(file, samples.data(), info.frames), info.frames);
    sf_close(file);
    for (size_t frame = 0; frame < samples.size() / 2; ++frame) {
        const float expected = frame < switchFrame ? 0.75f : 0.25f;
        ASSERT_EQ(samples[2 * frame], expected) << "frame " << frame;
        ASSERT_EQ(samples[2 * frame + 1], -expected) << "frame " << frame;
    }
}

// Counts the frames it has played, so a block mixed twice would show.
OSStatus rampProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                  AudioBufferList* out, const AudioTimeStamp*, void* clientData) {
    auto& played = *static_cast<float*>(clientData);
    auto* samples = static_cast<float*>(out->mBuffers[0].mData);
    for (uint32_t i = 0; i + 1 < out->mBuffers[0].mDataByteSize / sizeof(float); i += 2) {
        samples[i] += played;
        samples[i + 1] -= played;
        played += 1;
    }
    return 0;
}

TEST(AudioDevices, WAVFileAndListenersGetTheSameBlocksMixedOnce) {
    TempDir dir;
    const std::string path = (dir.path() / "out.wav").string();
    std::string error;
    auto wav = WAVFileAudioDevice::create(path, &error);
    ASSERT_TRUE(wav) << error;
    const AudioDeviceID id = AudioHardware::shared().addDevice(wav);
    float played = 0;
    ASSERT_EQ(AudioDeviceAddIOProc(id, rampProc, &played), 0);
    ASSERT_EQ(AudioDeviceStart(id, rampProc, &played), 0);
    std::vector<float> first, second;
    wav->addListener([&](const float* s, uint32_t frames) { first.insert(first.end(), s, s + frames * 2); });
    const int removed =
        wav->addListener([&](const float* s, uint32_t frames) { second.insert(second.end(), s, s + frames * 2); });

    wav->advanceTo(0.01);  // 441 frames
    wav->removeListener(removed);
    wav->advanceTo(0.02);
    wav->close();
    AudioDeviceRemoveIOProc(id, rampProc, &played);

    EXPECT_EQ(played, 882.0f);
    const std::vector<float> written = readStereoWAV(path);
    ASSERT_EQ(written.size(), 882u * 2);
    EXPECT_EQ(written[2 * 881], 881.0f);
    EXPECT_EQ(first, written);
    EXPECT_EQ(second, std::vector<float>(written.begin(), written.begin() + 441 * 2));
}

}  // namespace
