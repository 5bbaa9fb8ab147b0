#include "AudioDevice.h"

#include <algorithm>

AudioDevice::Slot* AudioDevice::find(AudioDeviceIOProc proc, void* clientData) {
    if (proc == nullptr) return nullptr;  // the mark of a free slot, never a registration
    for (Slot& slot : slots_)
        if (slot.proc == proc && (clientData == nullptr || slot.clientData == clientData)) return &slot;
    return nullptr;
}

OSStatus AudioDevice::addIOProc(AudioDeviceIOProc proc, void* clientData) {
    if (proc == nullptr) return kAudioHardwareIllegalOperationError;
    // Allocated here, outside the lock and off the IO thread.
    std::vector<float> scratch(size_t{kMixFrames} * 2);
    std::lock_guard lock(mutex_);
    for (const Slot& slot : slots_)
        if (slot.proc == proc && slot.clientData == clientData) return kAudioHardwareIllegalOperationError;
    for (Slot& slot : slots_)
        if (slot.proc == nullptr) {
            slot.proc = proc;
            slot.clientData = clientData;
            slot.started = false;
            slot.scratch.swap(scratch);
            return kAudioHardwareNoError;
        }
    return kAudioHardwareIllegalOperationError;
}

OSStatus AudioDevice::removeIOProc(AudioDeviceIOProc proc, void* clientData) {
    std::vector<float> released;  // freed after the lock is let go
    std::lock_guard lock(mutex_);
    Slot* slot = find(proc, clientData);
    if (slot == nullptr) return kAudioHardwareIllegalOperationError;
    released.swap(slot->scratch);
    if (slot->started) --started_;
    *slot = Slot{};
    return kAudioHardwareNoError;
}

OSStatus AudioDevice::start(AudioDeviceIOProc proc, void* clientData) {
    std::lock_guard lock(mutex_);
    Slot* slot = find(proc, clientData);
    if (slot == nullptr) return kAudioHardwareIllegalOperationError;
    if (!slot->started) ++started_;
    slot->started = true;
    return kAudioHardwareNoError;
}

OSStatus AudioDevice::stop(AudioDeviceIOProc proc, void* clientData) {
    std::lock_guard lock(mutex_);
    Slot* slot = find(proc, clientData);
    if (slot == nullptr) return kAudioHardwareIllegalOperationError;
    if (slot->started) --started_;
    slot->started = false;
    return kAudioHardwareNoError;
}

int AudioDevice::addListener(Listener listener) {
    listeners_.emplace_back(nextListener_, std::move(listener));
    if (listeners_.size() == 1) listening(true);
    return nextListener_++;
}

void AudioDevice::removeListener(int id) {
    const size_t before = listeners_.size();
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
    if (before > 0 && listeners_.empty()) listening(false);
}

void AudioDevice::handToListeners(const float* stereo, uint32_t frames) {
    for (const auto& [id, listener] : listeners_) listener(stereo, frames);
}

void AudioDevice::mixCycle(float* output, uint32_t frames, const AudioTimeStamp& now) {
    std::fill(output, output + size_t{frames} * 2, 0.0f);
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return;
    for (Slot& slot : slots_) {
        if (!slot.started) continue;
        AudioTimeStamp time = now;
        for (uint32_t done = 0; done < frames;) {
            const uint32_t chunk = std::min(kMixFrames, frames - done);
            float* scratch = slot.scratch.data();
            std::fill(scratch, scratch + size_t{chunk} * 2, 0.0f);
            AudioBufferList list;
            list.mNumberBuffers = 1;
            list.mBuffers[0] = AudioBuffer{2, chunk * 2 * static_cast<uint32_t>(sizeof(float)), scratch};
            slot.proc(id_, &time, nullptr, nullptr, &list, &time, slot.clientData);
            float* out = output + size_t{done} * 2;
            for (size_t i = 0; i < size_t{chunk} * 2; ++i) out[i] += scratch[i];
            done += chunk;
            time.mSampleTime += chunk;
        }
    }
}

bool AudioDevice::directCycle(AudioBufferList* output, const AudioTimeStamp& now) {
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    for (Slot& slot : slots_)
        if (slot.started) slot.proc(id_, &now, nullptr, nullptr, output, &now, slot.clientData);
    return true;
}
