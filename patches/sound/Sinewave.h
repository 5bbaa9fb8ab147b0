#pragma once

#include "platform/audio/CoreAudio.h"
#include "platform/graphics/PageAlignedBuffer.h"

#include <atomic>
#include <cstdint>
#include <memory>

// Plays a sound image on the default output device: one pixel column per
// output frame, the left sample from the upper row of a row pair and the
// right sample from the row below, row pair after row pair, looping.
//
// Every operation but appIOProc runs on the owner's thread. The callback
// reads the pixel copy and moves the cursor on the device's IO thread; a
// replaced copy is freed only once no IO cycle can still be reading it, and
// the callback itself never waits.
class Sinewave {
public:
    Sinewave();
    ~Sinewave();
    Sinewave(const Sinewave&) = delete;
    Sinewave& operator=(const Sinewave&) = delete;

    void setup();
    bool start();
    bool stop();

    void setBitmapData(const void* data, int32_t size);
    void setBytesPerRow(int32_t value) { bytesPerRow.store(value, std::memory_order_relaxed); }
    void setSamplesPerPixel(int32_t value) { samplesPerPixel.store(value, std::memory_order_relaxed); }
    void setWidth(int32_t value) { width.store(value, std::memory_order_relaxed); }
    void setHeight(int32_t value) { height.store(value, std::memory_order_relaxed); }

    int32_t curX() const { return _curX.load(std::memory_order_relaxed); }
    int32_t curY() const { return _curY.load(std::memory_order_relaxed); }

    bool isInitialized() const { return initialized; }
    bool isPlaying() const { return soundPlaying; }

private:
    friend OSStatus appIOProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                              AudioBufferList*, const AudioTimeStamp*, void*);

    // Frees `old` once the IO cycle running now, if any, has finished.
    void retire(std::unique_ptr<PageAlignedBuffer> old);
    void unregister();

    bool initialized = false;
    bool soundPlaying = false;
    bool registered = false;  // appIOProc is added to `device`
    AudioDeviceID device = kAudioDeviceUnknown;
    uint32_t deviceBufferSize = 0;
    AudioStreamBasicDescription deviceFormat;
    std::atomic<int32_t> _curX{0};
    std::atomic<int32_t> _curY{0};
    // The copy the callback reads (null: silence) and its owner.
    std::atomic<const PageAlignedBuffer*> bitmapData{nullptr};
    std::unique_ptr<PageAlignedBuffer> _bitmap;
    // Odd while an IO cycle runs; counts cycle starts and ends.
    std::atomic<uint64_t> _cycles{0};
    std::atomic<int32_t> bytesPerRow{0};
    std::atomic<int32_t> samplesPerPixel{0};
    std::atomic<int32_t> width{0};
    std::atomic<int32_t> height{0};
};

// The device IO proc; `defptr` is the oscillator. Always returns 0.
OSStatus appIOProc(AudioDeviceID inDevice, const AudioTimeStamp* inNow, const AudioBufferList* inInputData,
                   const AudioTimeStamp* inInputTime, AudioBufferList* outOutputData,
                   const AudioTimeStamp* inOutputTime, void* defptr);
