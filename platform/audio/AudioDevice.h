#pragma once

#include "CoreAudio.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

// An output device: its buffer size and stream format, and the IO procs
// registered with it. A proc is one registration of a function with its
// client data; several oscillators may register the same function, so the
// client data tells their registrations apart (a null client data in the
// calls names the first registration of the function).
//
// Registration calls come from the host's thread; IO cycles run on the
// device's thread (JACK), on the host's thread (WAV file) or on whatever
// thread a test pulls them from. Procs are called only while the table lock
// is held, so once stop or remove returns the proc is not called again; the
// IO side only ever tries the lock and plays silence for a cycle it cannot
// have, so it never waits.
class AudioDevice {
public:
    static constexpr size_t kMaxIOProcs = 16;

    virtual ~AudioDevice() = default;
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    // Bytes per IO buffer, and the stream format of the output side.
    virtual uint32_t bufferSize() const = 0;
    virtual AudioStreamBasicDescription streamFormat() const = 0;

    OSStatus addIOProc(AudioDeviceIOProc proc, void* clientData);
    OSStatus removeIOProc(AudioDeviceIOProc proc, void* clientData);
    OSStatus start(AudioDeviceIOProc proc, void* clientData);
    OSStatus stop(AudioDeviceIOProc proc, void* clientData);

    // The id the hardware registry gave this device.
    AudioDeviceID deviceID() const { return id_; }
    void setDeviceID(AudioDeviceID id) { id_ = id; }

    // Never waits for the table, so asking costs no IO cycle.
    size_t startedProcCount() const { return started_.load(std::memory_order_relaxed); }

    // What the device played, handed on in blocks of interleaved float stereo
    // to listeners (a WAV file, a recording): mixed once, however many
    // listen. Listeners are added, removed and called on one thread: the
    // one that drives an offline device, or the one that calls
    // collectPlayed() on a device with a clock of its own.
    using Listener = std::function<void(const float* stereo, uint32_t frames)>;
    // Returns the number that removes it again.
    int addListener(Listener listener);
    void removeListener(int id);
    // Hands listeners what the device has played since the last call.
    virtual void collectPlayed() {}

protected:
    AudioDevice() = default;

    void handToListeners(const float* stereo, uint32_t frames);
    // Told when the first listener comes and when the last one goes.
    virtual void listening(bool /*anyone*/) {}

    // Frames handed to a proc at most per call when mixing.
    static constexpr uint32_t kMixFrames = 4096;

    // One IO cycle of `frames` interleaved stereo float frames into `output`:
    // every started proc renders into its own scratch buffer and the results
    // are summed. Silence when no proc runs or the table is busy.
    void mixCycle(float* output, uint32_t frames, const AudioTimeStamp& now);

    // One IO cycle straight into the caller's buffers: each started proc is
    // called with `output` as it is. Returns false when the table was busy.
    bool directCycle(AudioBufferList* output, const AudioTimeStamp& now);

private:
    struct Slot {
        AudioDeviceIOProc proc = nullptr;
        void* clientData = nullptr;
        bool started = false;
        std::vector<float> scratch;  // kMixFrames stereo frames
    };

    Slot* find(AudioDeviceIOProc proc, void* clientData);

    mutable std::mutex mutex_;
    std::array<Slot, kMaxIOProcs> slots_;
    std::atomic<size_t> started_{0};
    std::vector<std::pair<int, Listener>> listeners_;
    int nextListener_ = 1;
    AudioDeviceID id_ = kAudioDeviceUnknown;
};
