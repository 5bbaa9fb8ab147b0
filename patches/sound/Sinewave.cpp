#include "Sinewave.h"

#include "platform/foundation/NSLog.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

namespace {

// (byte - 128) / 127, divided in double precision and kept as a float.
const std::array<float, 256> kSampleOfByte = [] {
    std::array<float, 256> table{};
    for (int byte = 0; byte < 256; ++byte) table[byte] = static_cast<float>((byte - 128) / 127.0);
    return table;
}();

// Marks one IO cycle on the oscillator: the count is odd while it runs.
class IOCycle {
public:
    explicit IOCycle(std::atomic<uint64_t>& cycles) : cycles_(cycles) { cycles_.fetch_add(1, std::memory_order_seq_cst); }
    ~IOCycle() { cycles_.fetch_add(1, std::memory_order_release); }
    IOCycle(const IOCycle&) = delete;
    IOCycle& operator=(const IOCycle&) = delete;

private:
    std::atomic<uint64_t>& cycles_;
};

}  // namespace

Sinewave::Sinewave() = default;

Sinewave::~Sinewave() {
    NSLog("Sinewave::dealloc()");
    // The device must not call us once we are gone, whoever forgot to stop.
    unregister();
    if (_bitmap) {
        NSLog("free1");
        bitmapData.store(nullptr);
        _bitmap.reset();
    }
}

void Sinewave::unregister() {
    if (soundPlaying) AudioDeviceStop(device, appIOProc, this);
    if (registered) AudioDeviceRemoveIOProc(device, appIOProc, this);
    soundPlaying = false;
    registered = false;
}

void Sinewave::setup() {
    NSLog("Sinewave::setup()");
    unregister();  // set up again while playing: the old device lets go first
    device = kAudioDeviceUnknown;
    initialized = false;

    uint32_t size = sizeof device;
    OSStatus err = AudioHardwareGetProperty(kAudioHardwarePropertyDefaultOutputDevice, &size, &device);
    if (err != kAudioHardwareNoError) {
        std::fprintf(stderr, "get kAudioHardwarePropertyDefaultOutputDevice error %ld\n", static_cast<long>(err));
        return;
    }
    size = sizeof deviceBufferSize;
    err = AudioDeviceGetProperty(device, 0, false, kAudioDevicePropertyBufferSize, &size, &deviceBufferSize);
    if (err != kAudioHardwareNoError) {
        std::fprintf(stderr, "get kAudioDevicePropertyBufferSize error %ld\n", static_cast<long>(err));
        return;
    }
    std::fprintf(stderr, "deviceBufferSize = %ld\n", static_cast<long>(deviceBufferSize));
    size = sizeof deviceFormat;
    err = AudioDeviceGetProperty(device, 0, false, kAudioDevicePropertyStreamFormat, &size, &deviceFormat);
    if (err != kAudioHardwareNoError) {
        std::fprintf(stderr, "get kAudioDevicePropertyStreamFormat error %ld\n", static_cast<long>(err));
        return;
    }
    if (deviceFormat.mFormatID != kAudioFormatLinearPCM) {
        std::fprintf(stderr, "mFormatID !=  kAudioFormatLinearPCM\n");
        return;
    }
    if (!(deviceFormat.mFormatFlags & kAudioFormatFlagIsFloat)) {
        std::fprintf(stderr, "Sorry, currently only works with float format....\n");
        return;
    }
    _curY.store(0);
    _curX.store(0);
    initialized = true;
}

bool Sinewave::start() {
    NSLog("Sinewave::start()");
    if (!initialized || soundPlaying) return false;
    if (AudioDeviceAddIOProc(device, appIOProc, this) != kAudioHardwareNoError) return false;
    registered = true;
    if (AudioDeviceStart(device, appIOProc, this) != kAudioHardwareNoError) {
        // Not playing, so not registered either: nothing may call us later.
        AudioDeviceRemoveIOProc(device, appIOProc, this);
        registered = false;
        return false;
    }
    soundPlaying = true;
    return true;
}

bool Sinewave::stop() {
    NSLog("Sinewave::stop()");
    if (!initialized || !soundPlaying) return false;
    if (AudioDeviceStop(device, appIOProc, this) != kAudioHardwareNoError) return false;
    if (AudioDeviceRemoveIOProc(device, appIOProc, this) != kAudioHardwareNoError) return false;
    registered = false;
    soundPlaying = false;
    return true;
}

void Sinewave::setBitmapData(const void* data, int32_t size) {
    NSLog("Sinewave::setBitmapData()");
    std::unique_ptr<PageAlignedBuffer> copy;
    if (data != nullptr && size > 0) {
        try {
            copy = std::make_unique<PageAlignedBuffer>(static_cast<size_t>(size), PageAlignedBuffer::Fill::None);
            std::memcpy(copy->data(), data, static_cast<size_t>(size));
        } catch (const std::bad_alloc&) {
            copy.reset();  // no copy: silence
        }
    }
    if (_bitmap) NSLog("free2");
    std::unique_ptr<PageAlignedBuffer> old = std::move(_bitmap);
    _bitmap = std::move(copy);
    bitmapData.store(_bitmap.get(), std::memory_order_seq_cst);
    retire(std::move(old));
}

void Sinewave::retire(std::unique_ptr<PageAlignedBuffer> old) {
    if (!old) return;
    // A cycle that began before the swap may still read the old copy; wait
    // for that one cycle to end. Cycles that begin later see the new copy.
    const uint64_t seen = _cycles.load(std::memory_order_seq_cst);
    if (seen % 2 == 1)
        while (_cycles.load(std::memory_order_acquire) == seen) std::this_thread::yield();
}

OSStatus appIOProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                   AudioBufferList* outOutputData, const AudioTimeStamp*, void* defptr) {
    auto* def = static_cast<Sinewave*>(defptr);
    const IOCycle cycle(def->_cycles);

    if (outOutputData == nullptr || outOutputData->mNumberBuffers == 0 || outOutputData->mBuffers[0].mData == nullptr)
        return 0;
    const uint32_t bytesPerFrame = def->deviceFormat.mBytesPerFrame;
    uint32_t numSamples = bytesPerFrame == 0 ? 0 : def->deviceBufferSize / bytesPerFrame;
    // Two floats go out per frame; never past the end of the buffer.
    const uint32_t room = outOutputData->mBuffers[0].mDataByteSize / (2 * sizeof(float));
    if (numSamples > room) numSamples = room;
    float* out = static_cast<float*>(outOutputData->mBuffers[0].mData);

    const PageAlignedBuffer* bitmap = def->bitmapData.load(std::memory_order_seq_cst);
    if (bitmap == nullptr) return 0;
    const uint8_t* b = bitmap->data();
    const int32_t width = def->width.load(std::memory_order_relaxed);
    const int32_t height = def->height.load(std::memory_order_relaxed);
    const int32_t bytesPerRow = def->bytesPerRow.load(std::memory_order_relaxed);
    const int32_t samplesPerPixel = def->samplesPerPixel.load(std::memory_order_relaxed);
    // Geometry that does not fit the copy plays nothing rather than reading
    // past it.
    if (width <= 0 || height < 2 || bytesPerRow < 0 || samplesPerPixel <= 0 ||
        int64_t{height - 1} * bytesPerRow + int64_t{width - 1} * samplesPerPixel >= static_cast<int64_t>(bitmap->size()))
        return 0;

    int32_t curX = def->_curX.load(std::memory_order_relaxed);
    int32_t curY = def->_curY.load(std::memory_order_relaxed);
    if (curX < 0 || curX >= width || curY < 0 || curY > height - 2) curX = curY = 0;
    for (uint32_t i = 0; i < numSamples; ++i) {
        const uint8_t* upper = b + ptrdiff_t{curX} * samplesPerPixel + ptrdiff_t{curY} * bytesPerRow;
        *out++ = kSampleOfByte[upper[0]];
        *out++ = kSampleOfByte[upper[bytesPerRow]];
        if (++curX >= width) {
            curX = 0;
            curY += 2;
            // After the last row pair; an odd last row is never played.
            if (curY >= height - 1) {
                curY = 0;
                NSLog("loop %dx%d", width, height);
            }
        }
    }
    def->_curX.store(curX, std::memory_order_relaxed);
    def->_curY.store(curY, std::memory_order_relaxed);
    return 0;
}
