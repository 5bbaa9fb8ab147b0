#include "TestAudioDevice.h"

TestAudioDevice::TestAudioDevice() : bufferSize_(512 * 8), format_(floatStereoFormat(44100.0)) {}

std::vector<float> TestAudioDevice::pullCycle() {
    std::vector<float> samples(bufferSize_ / sizeof(float));
    AudioBufferList list;
    list.mNumberBuffers = 1;
    list.mBuffers[0] = AudioBuffer{format_.mChannelsPerFrame,
                                   static_cast<uint32_t>(samples.size() * sizeof(float)), samples.data()};
    pullCycle(&list);
    return samples;
}

void TestAudioDevice::pullCycle(AudioBufferList* output) {
    AudioTimeStamp now;
    now.mSampleTime = sampleTime_;
    now.mFlags = kAudioTimeStampSampleTimeValid;
    directCycle(output, now);
    if (format_.mBytesPerFrame != 0) sampleTime_ += bufferSize_ / format_.mBytesPerFrame;
}
