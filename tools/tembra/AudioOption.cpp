#include "AudioOption.h"

#include "RunCommand.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/WAVFileAudioDevice.h"

#include <filesystem>
#include <memory>

namespace {

std::shared_ptr<WAVFileAudioDevice>& wavOutput() {
    static std::shared_ptr<WAVFileAudioDevice> device;
    return device;
}

}  // namespace

void configureAudioOutput(const std::string& choice) {
    AudioHardware& hardware = AudioHardware::shared();
    if (choice.empty()) return;
    if (choice == "jack") {
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
        hardware.setDefaultOutputDevice(hardware.addDevice(device));
        wavOutput() = std::move(device);
    } else {
        throw UsageError("--audio \"" + choice + "\" must be jack, wav:PATH or none");
    }
}

void advanceAudioClock(double seconds) {
    if (wavOutput()) wavOutput()->advanceTo(seconds);
}

void finishAudioClock(double seconds) {
    if (!wavOutput()) return;
    wavOutput()->advanceTo(seconds);
    wavOutput()->close();
}
