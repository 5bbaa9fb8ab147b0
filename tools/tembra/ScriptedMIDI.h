#pragma once

#include "host/CompositionDocument.h"
#include "platform/midi/CoreMIDI.h"

#include <atomic>
#include <map>
#include <string>
#include <vector>

// The MIDI a composition scripts for itself: virtual sources that play timed
// events ("midiSources") and virtual destinations ("midiDestinations") whose
// packets can be printed. The endpoints exist from construction on, so
// patches see them when they are built.
class ScriptedMIDI {
public:
    struct Event {
        double time = 0;
        std::vector<Byte> bytes;
        MIDIEndpointRef source = 0;
    };

    // Reads and checks the document's MIDI keys (CompositionError naming the
    // file and line), then creates the endpoints. `printDestinations`: every
    // packet a virtual destination receives is printed on standard output.
    ScriptedMIDI(const CompositionDocument& document, bool printDestinations);
    ~ScriptedMIDI();
    ScriptedMIDI(const ScriptedMIDI&) = delete;
    ScriptedMIDI& operator=(const ScriptedMIDI&) = delete;

    // Before the frame at composition time `time`: plays every event due by
    // then and waits until connected input ports have received them.
    void playUntil(double time);
    // Passes over the events due by `time` without playing them: after a
    // reload, the script this one replaces has played them.
    void skipUntil(double time);

    // Every event in playing order (by time, then document order).
    const std::vector<Event>& events() const { return events_; }
    // "midi Thru t=0.500 90 3C 64"
    static std::string describePacket(const std::string& destination, double time, const std::vector<Byte>& bytes);

private:
    void read(const CompositionDocument& document);
    MIDIEntityRef entityFor(const std::string& device);

    struct SourceSpec {
        std::string name, device;
        std::vector<Event> events;
    };
    struct DestinationSpec {
        std::string name, device;
    };
    std::vector<SourceSpec> sources_;
    std::vector<DestinationSpec> destinations_;
    std::map<std::string, MIDIEntityRef> entities_;  // by device name
    std::vector<Event> events_;
    size_t nextEvent_ = 0;
    std::map<MIDIEndpointRef, std::string> destinationNames_;
    std::atomic<double> time_{0};
    bool listening_ = false;
};
