#include "AudioOption.h"

#include "tools/tembra/Options.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/WAVFileAudioDevice.h"

#include <filesystem>

namespace {

// The output that the frames move along, or that a recording listens to.
struct Outputs {
    std::shared_ptr<OfflineAudioDevice> offline;
    std::shared_ptr<AudioDevice> live;  // JACK, for a recording
};

Outputs& outputs() {
    static Outputs chosen;
    return chosen;
}

void useOffline(std::shared_ptr<OfflineAudioDevice> device) {
    AudioHardware& hardware = AudioHardware::shared();
    hardware.setDefaultOutputDevice(hardware.addDevice(device));
    outputs().offline = std::move(device);
}

bool useJACK(RecordedSound recorded) {
    AudioHardware& hardware = AudioHardware::shared();
    if (!hardware.useJACKOutput()) return false;  // says so in the log when there is no server
    if (recorded == RecordedSound::Live) outputs().live = hardware.device(hardware.defaultOutputDevice());
    return true;
}

}  // namespace

void configureAudioOutput(const std::string& choice, RecordedSound recorded) {
    AudioHardware& hardware = AudioHardware::shared();
    if (choice.empty()) {
        if (recorded == RecordedSound::OnCompositionTime) useOffline(OfflineAudioDevice::create());
        // Heard where a server runs; recorded either way.
        if (recorded == RecordedSound::Live && !useJACK(recorded)) useOffline(OfflineAudioDevice::create());
    } else if (choice == "jack") {
        if (recorded == RecordedSound::OnCompositionTime)
            throw UsageError("--record in run follows composition time, which JACK does not keep: "
                             "give --audio wav:PATH or none, or leave --audio out");
        useJACK(recorded);
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

std::shared_ptr<AudioDevice> recordedAudioOutput() {
    if (outputs().offline) return outputs().offline;
    return outputs().live;
}

void advanceAudioClock(double seconds) {
    if (outputs().offline) outputs().offline->advanceTo(seconds);
    if (outputs().live) outputs().live->collectPlayed();
}

void finishAudioClock(double seconds) {
    advanceAudioClock(seconds);
    if (outputs().offline) outputs().offline->close();
}
