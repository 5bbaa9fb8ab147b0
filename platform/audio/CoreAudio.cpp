#include "CoreAudio.h"

#include "AudioHardware.h"

#include <cstring>

AudioStreamBasicDescription floatStereoFormat(double sampleRate) {
    AudioStreamBasicDescription format;
    format.mSampleRate = sampleRate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    format.mBytesPerPacket = 8;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 8;
    format.mChannelsPerFrame = 2;
    format.mBitsPerChannel = 32;
    return format;
}

OSStatus AudioHardwareGetProperty(AudioHardwarePropertyID inPropertyID, uint32_t* ioPropertyDataSize,
                                  void* outPropertyData) {
    if (inPropertyID != kAudioHardwarePropertyDefaultOutputDevice) return kAudioHardwareUnknownPropertyError;
    if (ioPropertyDataSize == nullptr || *ioPropertyDataSize != sizeof(AudioDeviceID) || outPropertyData == nullptr)
        return kAudioHardwareBadPropertySizeError;
    const AudioDeviceID device = AudioHardware::shared().defaultOutputDevice();
    std::memcpy(outPropertyData, &device, sizeof device);
    return device == kAudioDeviceUnknown ? kAudioHardwareBadDeviceError : kAudioHardwareNoError;
}

OSStatus AudioDeviceGetProperty(AudioDeviceID inDevice, uint32_t /*inChannel*/, bool isInput,
                                AudioDevicePropertyID inPropertyID, uint32_t* ioPropertyDataSize,
                                void* outPropertyData) {
    const auto device = AudioHardware::shared().device(inDevice);
    if (!device) return kAudioHardwareBadDeviceError;
    if (isInput) return kAudioHardwareUnknownPropertyError;  // output devices only
    if (ioPropertyDataSize == nullptr || outPropertyData == nullptr) return kAudioHardwareBadPropertySizeError;
    switch (inPropertyID) {
    case kAudioDevicePropertyBufferSize: {
        if (*ioPropertyDataSize != sizeof(uint32_t)) return kAudioHardwareBadPropertySizeError;
        const uint32_t size = device->bufferSize();
        std::memcpy(outPropertyData, &size, sizeof size);
        return kAudioHardwareNoError;
    }
    case kAudioDevicePropertyStreamFormat: {
        if (*ioPropertyDataSize != sizeof(AudioStreamBasicDescription)) return kAudioHardwareBadPropertySizeError;
        const AudioStreamBasicDescription format = device->streamFormat();
        std::memcpy(outPropertyData, &format, sizeof format);
        return kAudioHardwareNoError;
    }
    default:
        return kAudioHardwareUnknownPropertyError;
    }
}

OSStatus AudioDeviceAddIOProc(AudioDeviceID inDevice, AudioDeviceIOProc inProc, void* inClientData) {
    const auto device = AudioHardware::shared().device(inDevice);
    return device ? device->addIOProc(inProc, inClientData) : kAudioHardwareBadDeviceError;
}

OSStatus AudioDeviceRemoveIOProc(AudioDeviceID inDevice, AudioDeviceIOProc inProc, void* inClientData) {
    const auto device = AudioHardware::shared().device(inDevice);
    return device ? device->removeIOProc(inProc, inClientData) : kAudioHardwareBadDeviceError;
}

OSStatus AudioDeviceStart(AudioDeviceID inDevice, AudioDeviceIOProc inProc, void* inClientData) {
    const auto device = AudioHardware::shared().device(inDevice);
    return device ? device->start(inProc, inClientData) : kAudioHardwareBadDeviceError;
}

OSStatus AudioDeviceStop(AudioDeviceID inDevice, AudioDeviceIOProc inProc, void* inClientData) {
    const auto device = AudioHardware::shared().device(inDevice);
    return device ? device->stop(inProc, inClientData) : kAudioHardwareBadDeviceError;
}
