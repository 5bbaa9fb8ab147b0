#pragma once

#include <cstdint>

// The audio hardware calls in the manner of CoreAudio's HAL: the default
// output device, its buffer size and stream format, and IO procs that the
// device calls on its own thread once per output buffer. The devices behind
// these calls are JACK, a WAV file, or a test device (see AudioHardware.h).

using OSStatus = int32_t;
using AudioDeviceID = uint32_t;
using AudioHardwarePropertyID = uint32_t;
using AudioDevicePropertyID = uint32_t;

constexpr uint32_t fourCharCode(const char (&code)[5]) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(code[3]));
}

enum : AudioDeviceID { kAudioDeviceUnknown = 0 };

enum : uint32_t {
    kAudioHardwarePropertyDefaultOutputDevice = fourCharCode("dOut"),
    kAudioDevicePropertyBufferSize = fourCharCode("bsiz"),
    kAudioDevicePropertyStreamFormat = fourCharCode("sfmt"),
};

enum : OSStatus {
    kAudioHardwareNoError = 0,
    kAudioHardwareUnknownPropertyError = static_cast<OSStatus>(fourCharCode("who?")),
    kAudioHardwareBadPropertySizeError = static_cast<OSStatus>(fourCharCode("!siz")),
    kAudioHardwareIllegalOperationError = static_cast<OSStatus>(fourCharCode("nope")),
    kAudioHardwareBadDeviceError = static_cast<OSStatus>(fourCharCode("!dev")),
};

enum : uint32_t {
    kAudioFormatLinearPCM = fourCharCode("lpcm"),
    kAudioFormatFlagIsFloat = 1u << 0,
    kAudioFormatFlagIsBigEndian = 1u << 1,
    kAudioFormatFlagIsSignedInteger = 1u << 2,
    kAudioFormatFlagIsPacked = 1u << 3,
};

// CoreAudio's 40-byte stream description.
struct AudioStreamBasicDescription {
    double mSampleRate = 0;
    uint32_t mFormatID = 0;
    uint32_t mFormatFlags = 0;
    uint32_t mBytesPerPacket = 0;
    uint32_t mFramesPerPacket = 0;
    uint32_t mBytesPerFrame = 0;
    uint32_t mChannelsPerFrame = 0;
    uint32_t mBitsPerChannel = 0;
    uint32_t mReserved = 0;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40);

// Linear PCM, 32-bit float, two channels interleaved: what every device here plays.
AudioStreamBasicDescription floatStereoFormat(double sampleRate);

struct AudioBuffer {
    uint32_t mNumberChannels = 0;
    uint32_t mDataByteSize = 0;
    void* mData = nullptr;
};

// One buffer is all any device here uses (interleaved channels).
struct AudioBufferList {
    uint32_t mNumberBuffers = 0;
    AudioBuffer mBuffers[1];
};

enum : uint32_t { kAudioTimeStampSampleTimeValid = 1u << 0, kAudioTimeStampHostTimeValid = 1u << 1 };

struct AudioTimeStamp {
    double mSampleTime = 0;  // frames since the device began
    uint64_t mHostTime = 0;  // steady clock, nanoseconds
    uint32_t mFlags = 0;
};

using AudioDeviceIOProc = OSStatus (*)(AudioDeviceID inDevice, const AudioTimeStamp* inNow,
                                       const AudioBufferList* inInputData, const AudioTimeStamp* inInputTime,
                                       AudioBufferList* outOutputData, const AudioTimeStamp* inOutputTime,
                                       void* inClientData);

// `ioPropertyDataSize` must be the size of the property (4 for the device id,
// 4 for the buffer size, 40 for the stream format); it is left at that size.
// The default output device is an error (kAudioHardwareBadDeviceError) when
// there is none.
OSStatus AudioHardwareGetProperty(AudioHardwarePropertyID inPropertyID, uint32_t* ioPropertyDataSize,
                                  void* outPropertyData);
// Only the output side has properties; channel is ignored.
OSStatus AudioDeviceGetProperty(AudioDeviceID inDevice, uint32_t inChannel, bool isInput,
                                AudioDevicePropertyID inPropertyID, uint32_t* ioPropertyDataSize,
                                void* outPropertyData);
// When several registrations share one function (several oscillators on one
// device), `inClientData` tells them apart; without it the calls name the
// function's first registration.
OSStatus AudioDeviceAddIOProc(AudioDeviceID inDevice, AudioDeviceIOProc inProc, void* inClientData);
OSStatus AudioDeviceRemoveIOProc(AudioDeviceID inDevice, AudioDeviceIOProc inProc, void* inClientData = nullptr);
OSStatus AudioDeviceStart(AudioDeviceID inDevice, AudioDeviceIOProc inProc, void* inClientData = nullptr);
// Once this returns the proc is not called again until it is started anew.
OSStatus AudioDeviceStop(AudioDeviceID inDevice, AudioDeviceIOProc inProc, void* inClientData = nullptr);
