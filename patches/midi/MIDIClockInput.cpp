#include "patches/midi/MIDIClockInput.h"

#include "patches/midi/TembraMIDIClock.h"

MIDIClockInput& MIDIClockInput::shared() {
    static MIDIClockInput input;
    return input;
}

void MIDIClockInput::select(const void* owner, const std::vector<MIDIEndpointRef>& sources) {
    std::lock_guard lock(mutex_);
    selections_[owner] = sources;
    connectSelected();
}

void MIDIClockInput::release(const void* owner) {
    std::lock_guard lock(mutex_);
    if (selections_.erase(owner)) connectSelected();
}

void MIDIClockInput::connectSelected() {
    std::set<MIDIEndpointRef> wanted;
    for (const auto& [owner, sources] : selections_) wanted.insert(sources.begin(), sources.end());
    for (auto it = connected_.begin(); it != connected_.end();) {
        if (wanted.count(*it)) {
            ++it;
        } else {
            MIDIPortDisconnectSource(port_, *it);
            it = connected_.erase(it);
        }
    }
    if (wanted.empty()) return;
    if (port_ == 0) {
        MIDIClientCreate("TembraMIDIClock", nullptr, nullptr, &client_);
        MIDIInputPortCreate(client_, "Input port", TembraMIDIClockReadProc, nullptr, &port_);
    }
    for (const MIDIEndpointRef source : wanted)
        if (!connected_.count(source) && MIDIPortConnectSource(port_, source, nullptr) == noErr)
            connected_.insert(source);
}
