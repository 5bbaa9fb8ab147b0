#pragma once

#include "AudioDevice.h"

#include <map>
#include <memory>
#include <mutex>

// The process's audio devices and the choice of the default output device.
// Devices get ids from 1 up and stay registered for the life of the process,
// so a late stop or remove always reaches the device it was meant for.
//
// Until something chooses, the default output is JACK when a server runs,
// otherwise none; that is decided once, on the first question.
class AudioHardware {
public:
    static AudioHardware& shared();

    AudioDeviceID addDevice(std::shared_ptr<AudioDevice> device);
    std::shared_ptr<AudioDevice> device(AudioDeviceID id) const;

    // kAudioDeviceUnknown when there is none.
    AudioDeviceID defaultOutputDevice();
    // Chooses the default output: a registered device, or none
    // (kAudioDeviceUnknown).
    void setDefaultOutputDevice(AudioDeviceID id);
    // Chooses JACK as the default output: opens a client on the server
    // (JACK_DEFAULT_SERVER or the default one). Without a server, logs one
    // line and leaves no default output; returns whether JACK is in use.
    bool useJACKOutput();

private:
    AudioHardware() = default;
    AudioDeviceID openJACKLocked();

    mutable std::mutex mutex_;
    std::map<AudioDeviceID, std::shared_ptr<AudioDevice>> devices_;
    AudioDeviceID nextID_ = 1;
    AudioDeviceID defaultOutput_ = kAudioDeviceUnknown;
    AudioDeviceID jack_ = kAudioDeviceUnknown;
    bool chosen_ = false;
};
