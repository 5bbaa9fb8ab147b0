#include "AudioTesting.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/JACKAudioDevice.h"

#include <jack/jack.h>

#include <algorithm>
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

// Numbers its frames on the left channel.
OSStatus numberingProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                       AudioBufferList* out, const AudioTimeStamp*, void* clientData) {
    auto& next = *static_cast<float*>(clientData);
    auto* samples = static_cast<float*>(out->mBuffers[0].mData);
    for (uint32_t i = 0; i + 1 < out->mBuffers[0].mDataByteSize / sizeof(float); i += 2) samples[i] = next++;
    return 0;
}

TEST(JACKAudioDevice, ListenersGetEveryFrameItPlayedInOrder) {
    uint32_t size = sizeof(AudioDeviceID);
    AudioDeviceID id = 0;
    const bool available = AudioHardwareGetProperty(kAudioHardwarePropertyDefaultOutputDevice, &size, &id) == 0;
    TEMBRA_REQUIRE_JACK(available);
    auto jack = AudioHardware::shared().device(id);
    std::vector<float> heard;
    const int listener = jack->addListener([&](const float* stereo, uint32_t frames) {
        for (uint32_t i = 0; i < frames; ++i) heard.push_back(stereo[2 * i]);
    });
    float next = 1;
    ASSERT_EQ(AudioDeviceAddIOProc(id, numberingProc, &next), 0);
    ASSERT_EQ(AudioDeviceStart(id, numberingProc, &next), 0);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (heard.size() < 8192 && std::chrono::steady_clock::now() < limit) {
        jack->collectPlayed();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // between polls
    }
    AudioDeviceStop(id, numberingProc, &next);
    AudioDeviceRemoveIOProc(id, numberingProc, &next);
    jack->removeListener(listener);

    ASSERT_GE(heard.size(), 8192u);
    // Silence until the proc started, then every frame it made, none twice.
    const auto first = std::find(heard.begin(), heard.end(), 1.0f);
    ASSERT_NE(first, heard.end());
    EXPECT_TRUE(std::all_of(heard.begin(), first, [](float s) { return s == 0; }));
    for (auto it = first; it != heard.end(); ++it)
        ASSERT_EQ(*it, static_cast<float>(it - first + 1)) << "frame " << it - heard.begin();
}

}  // namespace
