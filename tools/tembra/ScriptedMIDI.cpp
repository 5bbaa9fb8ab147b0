#include "ScriptedMIDI.h"

#include "platform/midi/VirtualMIDI.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

namespace {

std::string optionalString(const CompositionDocument& document, const LocatedValue& entry, const char* key,
                           const std::string& what) {
    const auto value = entry.member(key);
    if (!value) return {};
    if (!value->json().is_string())
        document.fail(value->line(), "\"" + std::string(key) + "\" of " + what + " must be a string");
    return value->json().get<std::string>();
}

std::string requiredName(const CompositionDocument& document, const LocatedValue& entry, const char* kind) {
    const auto name = entry.member("name");
    if (!name || !name->json().is_string())
        document.fail(name ? name->line() : entry.line(), std::string("each ") + kind + " needs a string \"name\"");
    return name->json().get<std::string>();
}

std::vector<Byte> eventBytes(const CompositionDocument& document, const LocatedValue& event, const std::string& what) {
    const std::string message = what + ": \"bytes\" must be a non-empty array of integers 0 to 255";
    const auto value = event.member("bytes");
    if (!value) document.fail(event.line(), message);
    const auto& array = value->json();
    if (!array.is_array() || array.empty() || array.size() > UINT16_MAX) document.fail(value->line(), message);
    std::vector<Byte> bytes;
    bytes.reserve(array.size());
    for (const auto& byte : array) {
        if (!byte.is_number_integer() || byte.get<long long>() < 0 || byte.get<long long>() > 255)
            document.fail(value->line(), message);
        bytes.push_back(static_cast<Byte>(byte.get<long long>()));
    }
    return bytes;
}

double eventTime(const CompositionDocument& document, const LocatedValue& event, const std::string& what) {
    const auto value = event.member("time");
    if (!value || !value->json().is_number() || !std::isfinite(value->json().get<double>()) ||
        value->json().get<double>() < 0)
        document.fail(value ? value->line() : event.line(),
                      what + ": \"time\" must be a non-negative number of seconds");
    return value->json().get<double>();
}

}  // namespace

// A virtual endpoint of the script, removed when the last script that
// declares it goes.
struct ScriptedMIDI::Endpoint {
    MIDIEndpointRef ref;
    explicit Endpoint(MIDIEndpointRef r) : ref(r) {}
    ~Endpoint() { VirtualMIDI::removeEndpoint(ref); }
    Endpoint(const Endpoint&) = delete;
    Endpoint& operator=(const Endpoint&) = delete;
};

// What printing a packet needs, fixed once the script is built.
struct ScriptedMIDI::Printer {
    std::map<MIDIEndpointRef, std::string> destinationNames;
    std::atomic<double> time{0};
};

ScriptedMIDI::ScriptedMIDI(const CompositionDocument& document, bool printDestinations, const ScriptedMIDI* previous)
    : entities_(previous ? previous->entities_ : std::make_shared<std::map<std::string, MIDIEntityRef>>()),
      printer_(std::make_shared<Printer>()) {
    read(document);
    std::vector<bool> taken(previous ? previous->endpoints_.size() : 0, false);
    for (SourceSpec& spec : sources_) {
        auto endpoint = endpointFor(true, spec.device, spec.name, previous, taken);
        for (Event& event : spec.events) {
            event.source = endpoint->ref;
            events_.push_back(event);
        }
        endpoints_.push_back(Declared{true, spec.device, spec.name, std::move(endpoint)});
    }
    std::stable_sort(events_.begin(), events_.end(), [](const Event& a, const Event& b) { return a.time < b.time; });
    for (const DestinationSpec& spec : destinations_) {
        auto endpoint = endpointFor(false, spec.device, spec.name, previous, taken);
        printer_->destinationNames[endpoint->ref] = spec.name;
        endpoints_.push_back(Declared{false, spec.device, spec.name, std::move(endpoint)});
    }
    if (printDestinations) {
        subscription_ = std::make_unique<DestinationSubscription>(
            [printer = printer_](MIDIEndpointRef destination, const MIDIReceivedPacket& p) {
                auto it = printer->destinationNames.find(destination);
                const std::string name = it != printer->destinationNames.end() ? it->second : "?";
                std::printf("%s\n", describePacket(name, printer->time.load(), p.bytes).c_str());
                std::fflush(stdout);
            });
    }
    // Whatever the patches do at construction with these endpoints comes
    // after they have been announced.
    if (!endpoints_.empty()) VirtualMIDI::flush();
}

ScriptedMIDI::~ScriptedMIDI() {
    bool removing = false;
    for (const Declared& declared : endpoints_) removing = removing || declared.endpoint.use_count() == 1;
    endpoints_.clear();
    // The patches hear of the removals before the next frame.
    if (removing) VirtualMIDI::flush();
}

std::shared_ptr<ScriptedMIDI::Endpoint> ScriptedMIDI::endpointFor(bool isSource, const std::string& device,
                                                                  const std::string& name,
                                                                  const ScriptedMIDI* previous,
                                                                  std::vector<bool>& taken) {
    if (previous)
        for (size_t i = 0; i < previous->endpoints_.size(); ++i) {
            const Declared& old = previous->endpoints_[i];
            if (taken[i] || old.isSource != isSource || old.device != device || old.name != name) continue;
            taken[i] = true;
            return old.endpoint;
        }
    const MIDIEntityRef entity = entityFor(device);
    return std::make_shared<Endpoint>(isSource ? VirtualMIDI::createSource(entity, name)
                                               : VirtualMIDI::createDestination(entity, name));
}

void ScriptedMIDI::read(const CompositionDocument& document) {
    const LocatedValue root = document.root();
    if (const auto sources = root.member("midiSources")) {
        if (!sources->json().is_array()) document.fail(sources->line(), "\"midiSources\" must be an array");
        for (size_t i = 0; i < sources->size(); ++i) {
            const LocatedValue entry = sources->item(i);
            if (!entry.json().is_object()) document.fail(entry.line(), "each MIDI source needs a string \"name\"");
            SourceSpec spec;
            spec.name = requiredName(document, entry, "MIDI source");
            const std::string what = "MIDI source " + quotedShort(spec.name);
            spec.device = optionalString(document, entry, "device", what);
            if (const auto events = entry.member("events")) {
                if (!events->json().is_array())
                    document.fail(events->line(), "\"events\" of " + what + " must be an array");
                const std::string eventWhat = "event of " + what;
                spec.events.reserve(events->size());
                for (size_t j = 0; j < events->size(); ++j) {
                    const LocatedValue item = events->item(j);
                    if (!item.json().is_object()) document.fail(item.line(), eventWhat + " must be an object");
                    Event event;
                    event.time = eventTime(document, item, eventWhat);
                    event.bytes = eventBytes(document, item, eventWhat);
                    spec.events.push_back(std::move(event));
                }
            }
            sources_.push_back(std::move(spec));
        }
    }
    if (const auto destinations = root.member("midiDestinations")) {
        if (!destinations->json().is_array())
            document.fail(destinations->line(), "\"midiDestinations\" must be an array");
        for (size_t i = 0; i < destinations->size(); ++i) {
            const LocatedValue entry = destinations->item(i);
            if (!entry.json().is_object()) document.fail(entry.line(), "each MIDI destination needs a string \"name\"");
            DestinationSpec spec;
            spec.name = requiredName(document, entry, "MIDI destination");
            spec.device = optionalString(document, entry, "device", "MIDI destination " + quotedShort(spec.name));
            destinations_.push_back(std::move(spec));
        }
    }
}

MIDIEntityRef ScriptedMIDI::entityFor(const std::string& device) {
    if (device.empty()) return 0;
    auto it = entities_->find(device);
    if (it != entities_->end()) return it->second;
    // An unnamed entity, so the endpoint is named "<device> <name>".
    const MIDIEntityRef entity = VirtualMIDI::createEntity(VirtualMIDI::createDevice(device), std::nullopt);
    entities_->emplace(device, entity);
    return entity;
}

void ScriptedMIDI::playUntil(double time) {
    printer_->time.store(time);
    bool played = false;
    // A tiny tolerance: an event at 0.5 s belongs to the frame computed as 0.5.
    while (nextEvent_ < events_.size() && events_[nextEvent_].time <= time + 1e-9) {
        VirtualMIDI::inject(events_[nextEvent_].source, events_[nextEvent_].bytes);
        ++nextEvent_;
        played = true;
    }
    if (played) VirtualMIDI::flush();
}

void ScriptedMIDI::skipUntil(double time) {
    printer_->time.store(time);
    while (nextEvent_ < events_.size() && events_[nextEvent_].time <= time + 1e-9) ++nextEvent_;
}

std::string ScriptedMIDI::describePacket(const std::string& destination, double time, const std::vector<Byte>& bytes) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, " t=%.3f", time);
    std::string line = "midi " + destination + prefix;
    for (Byte byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", byte);
        line += hex;
    }
    return line;
}
