#include "AudioOption.h"

#include "RunCommand.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/WAVFileAudioDevice.h"

#include <filesystem>

namespace {

std::shared_ptr<OfflineAudioDevice>& offlineOutput() {
    static std::shared_ptr<OfflineAudioDevice> device;
    return device;
}

void useOffline(std::shared_ptr<OfflineAudioDevice> device) {
    AudioHardware& hardware = AudioHardware::shared();
    hardware.setDefaultOutputDevice(hardware.addDevice(device));
    offlineOutput() = std::move(device);
}

}  // namespace

void configureAudioOutput(const std::string& choice, bool recording) {
    AudioHardware& hardware = AudioHardware::shared();
    if (choice.empty()) {
        if (recording) useOffline(OfflineAudioDevice::create());
    } else if (choice == "jack") {
        if (recording)
            throw UsageError("--record takes its sound on composition time, which JACK does not keep: "
                             "give --audio wav:PATH or none, or leave --audio out");
        hardware.useJACKOutput();  // says so in the log when there is no server
    } else if (choice == "none") {
        hardware.setDefaultOutputDevice(kAudioDeviceUnknown);
    } else if (choice.rfind("wav:", 0) == 0 && choice.size() > 4) {
        const std::string path = choice.substr(4);
        const auto dir = std::filesystem::path(path).parent_path();
        std::error_code ignored;
        if (!dir.empty()) std::filesystem::create_directories(dir, ignored);
        std::string error;
        auto device = WAVFileAudioDevice::create(path, &error);
        if (!device) throw UsageError("--audio: " + error);
        useOffline(std::move(device));
    } else {
        throw UsageError("--audio \"" + choice + "\" must be jack, wav:PATH or none");
    }
}

std::shared_ptr<OfflineAudioDevice> offlineAudioOutput() { return offlineOutput(); }

void advanceAudioClock(double seconds) {
    if (offlineOutput()) offlineOutput()->advanceTo(seconds);
}

void finishAudioClock(double seconds) {
    if (!offlineOutput()) return;
    offlineOutput()->advanceTo(seconds);
    offlineOutput()->close();
}
