#include "AudioHardware.h"

#include "JACKAudioDevice.h"

AudioHardware& AudioHardware::shared() {
    static AudioHardware hardware;
    return hardware;
}

AudioDeviceID AudioHardware::addDevice(std::shared_ptr<AudioDevice> device) {
    std::lock_guard lock(mutex_);
    const AudioDeviceID id = nextID_++;
    device->setDeviceID(id);
    devices_.emplace(id, std::move(device));
    return id;
}

std::shared_ptr<AudioDevice> AudioHardware::device(AudioDeviceID id) const {
    std::lock_guard lock(mutex_);
    const auto it = devices_.find(id);
    return it == devices_.end() ? nullptr : it->second;
}

AudioDeviceID AudioHardware::openJACKLocked() {
    if (jack_ != kAudioDeviceUnknown) return jack_;
    auto jack = JACKAudioDevice::open();  // logs why when there is no server
    if (!jack) return kAudioDeviceUnknown;
    jack_ = nextID_++;
    jack->setDeviceID(jack_);
    devices_.emplace(jack_, std::move(jack));
    return jack_;
}

AudioDeviceID AudioHardware::defaultOutputDevice() {
    std::lock_guard lock(mutex_);
    if (!chosen_) {
        chosen_ = true;
        defaultOutput_ = openJACKLocked();
    }
    return defaultOutput_;
}

void AudioHardware::setDefaultOutputDevice(AudioDeviceID id) {
    std::lock_guard lock(mutex_);
    chosen_ = true;
    defaultOutput_ = devices_.count(id) ? id : kAudioDeviceUnknown;
}

bool AudioHardware::useJACKOutput() {
    std::lock_guard lock(mutex_);
    chosen_ = true;
    defaultOutput_ = openJACKLocked();
    return defaultOutput_ != kAudioDeviceUnknown;
}
