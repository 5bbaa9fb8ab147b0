#include "AudioTesting.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/JACKAudioDevice.h"

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

OSStatus countingProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                      AudioBufferList* out, const AudioTimeStamp*, void* clientData) {
    static_cast<std::atomic<uint64_t>*>(clientData)->fetch_add(out->mBuffers[0].mDataByteSize / 8);
    return 0;
}

std::vector<std::string> connectionsOf(const std::string& port) {
    std::vector<std::string> names;
    jack_client_t* probe = jack_client_open("tembra-probe", JackNoStartServer, nullptr);
    if (probe == nullptr) return names;
    if (const char** connected = jack_port_get_all_connections(probe, jack_port_by_name(probe, port.c_str()))) {
        for (const char** p = connected; *p != nullptr; ++p) names.emplace_back(*p);
        jack_free(connected);
    }
    jack_client_close(probe);
    return names;
}

TEST(JACKAudioDevice, PlaysFloatStereoAtThePeriodAndReachesThePlaybackPorts) {
    uint32_t size = sizeof(AudioDeviceID);
    AudioDeviceID id = 0;
    const bool available = AudioHardwareGetProperty(kAudioHardwarePropertyDefaultOutputDevice, &size, &id) == 0;
    TEMBRA_REQUIRE_JACK(available);
    auto jack = std::dynamic_pointer_cast<JACKAudioDevice>(AudioHardware::shared().device(id));
    ASSERT_TRUE(jack);

    jack_client_t* probe = jack_client_open("tembra-probe", JackNoStartServer, nullptr);
    ASSERT_NE(probe, nullptr);
    const jack_nframes_t period = jack_get_buffer_size(probe);
    const jack_nframes_t rate = jack_get_sample_rate(probe);
    jack_client_close(probe);

    EXPECT_EQ(jack->bufferSize(), period * 8);
    const AudioStreamBasicDescription format = jack->streamFormat();
    EXPECT_EQ(format.mSampleRate, rate);
    EXPECT_EQ(format.mFormatID, kAudioFormatLinearPCM);
    EXPECT_TRUE(format.mFormatFlags & kAudioFormatFlagIsFloat);
    EXPECT_EQ(format.mChannelsPerFrame, 2u);
    EXPECT_EQ(format.mBytesPerFrame, 8u);
    EXPECT_EQ(connectionsOf(jack->portName(0)), std::vector<std::string>{"system:playback_1"});
    EXPECT_EQ(connectionsOf(jack->portName(1)), std::vector<std::string>{"system:playback_2"});

    std::atomic<uint64_t> frames{0};
    ASSERT_EQ(AudioDeviceAddIOProc(id, countingProc, &frames), 0);
    ASSERT_EQ(AudioDeviceStart(id, countingProc, &frames), 0);
    for (int i = 0; i < 500 && frames < 4 * period; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(AudioDeviceStop(id, countingProc, &frames), 0);
    EXPECT_GE(frames.load(), 4u * period);
    EXPECT_EQ(frames.load() % period, 0u) << "whole periods only";
    const uint64_t stopped = frames;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(frames.load(), stopped) << "called after stop";
    EXPECT_EQ(AudioDeviceRemoveIOProc(id, countingProc, &frames), 0);
}

}  // namespace
