#pragma once

#include "host/CompositionDocument.h"
#include "platform/midi/CoreMIDI.h"
#include "platform/midi/DestinationSubscription.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// The MIDI a composition scripts for itself: virtual sources that play timed
// events ("midiSources") and virtual destinations ("midiDestinations") whose
// packets can be printed. The endpoints exist from construction on, so
// patches see them when they are built, and they are removed (with their
// removal notification) when no script that declares them is left.
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
    // `previous`: the script this one is to replace (a reload). The endpoints
    // both declare (same kind, device and name) are shared, so they and
    // their connections stay; the others of `previous` go with it.
    ScriptedMIDI(const CompositionDocument& document, bool printDestinations,
                 const ScriptedMIDI* previous = nullptr);
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
    struct Endpoint;
    struct Printer;
    struct Declared {
        bool isSource;
        std::string device, name;
        std::shared_ptr<Endpoint> endpoint;
    };

    void read(const CompositionDocument& document);
    MIDIEntityRef entityFor(const std::string& device);
    // The endpoint `previous` has for the same declaration and has not yet
    // handed over, else a new one.
    std::shared_ptr<Endpoint> endpointFor(bool isSource, const std::string& device, const std::string& name,
                                          const ScriptedMIDI* previous, std::vector<bool>& taken);

    struct SourceSpec {
        std::string name, device;
        std::vector<Event> events;
    };
    struct DestinationSpec {
        std::string name, device;
    };
    std::vector<SourceSpec> sources_;
    std::vector<DestinationSpec> destinations_;
    std::vector<Declared> endpoints_;
    // By device name. Devices cannot be removed, so successors reuse them.
    std::shared_ptr<std::map<std::string, MIDIEntityRef>> entities_;
    std::vector<Event> events_;
    size_t nextEvent_ = 0;
    std::shared_ptr<Printer> printer_;  // shared with the listener, which may outlive this
    std::unique_ptr<DestinationSubscription> subscription_;
};
