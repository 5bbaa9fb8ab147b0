#pragma once

#include "platform/midi/CoreMIDI.h"

#include <map>
#include <mutex>
#include <set>
#include <vector>

// The one MIDI input port through which every TembraMIDIClock of the process
// hears its sources. The clock values are shared by all clock patches, so a
// source heard through a port per patch would have each of its messages
// counted once per patch; here every source that some patch selects is
// connected once.
class MIDIClockInput {
public:
    static MIDIClockInput& shared();

    // Replaces the sources `owner` listens to.
    void select(const void* owner, const std::vector<MIDIEndpointRef>& sources);
    // `owner` listens to nothing any more.
    void release(const void* owner);

private:
    void connectSelected();

    std::mutex mutex_;
    std::map<const void*, std::vector<MIDIEndpointRef>> selections_;
    std::set<MIDIEndpointRef> connected_;
    MIDIClientRef client_ = 0;  // made with the port at the first selection; both kept for the process
    MIDIPortRef port_ = 0;
};
