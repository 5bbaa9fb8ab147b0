#include "ScriptedMIDI.h"

#include "platform/midi/VirtualMIDI.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Walks the document text alongside the JSON so that errors can name the
// line of the entry they are about: entries are found as successive '{'.
class EntryLines {
public:
    EntryLines(const CompositionDocument& document, const std::string& key)
        : document_(document), cursor_(document.text.find("\"" + key + "\"")) {
        if (cursor_ == std::string::npos) cursor_ = 0;
        keyLine_ = lineAt(cursor_);
    }
    int keyLine() const { return keyLine_; }
    // Line of the next object entry after the previous one.
    int next() {
        const size_t at = document_.text.find('{', cursor_);
        if (at == std::string::npos) return keyLine_;
        cursor_ = at + 1;
        return lineAt(at);
    }

private:
    int lineAt(size_t byte) const {
        return 1 + static_cast<int>(std::count(document_.text.begin(),
                                               document_.text.begin() + static_cast<long>(byte), '\n'));
    }
    const CompositionDocument& document_;
    size_t cursor_;
    int keyLine_ = 0;
};

std::string optionalString(const CompositionDocument& document, const nlohmann::ordered_json& entry,
                           const char* key, int line, const std::string& what) {
    if (!entry.contains(key)) return {};
    if (!entry[key].is_string()) document.fail(line, "\"" + std::string(key) + "\" of " + what + " must be a string");
    return entry[key].get<std::string>();
}

std::string requiredName(const CompositionDocument& document, const nlohmann::ordered_json& entry, int line,
                         const char* kind) {
    if (!entry.is_object() || !entry.contains("name") || !entry["name"].is_string())
        document.fail(line, std::string("each ") + kind + " needs a string \"name\"");
    return entry["name"].get<std::string>();
}

std::vector<Byte> eventBytes(const CompositionDocument& document, const nlohmann::ordered_json& event, int line,
                             const std::string& what) {
    const std::string message = what + ": \"bytes\" must be a non-empty array of integers 0 to 255";
    if (!event.contains("bytes") || !event["bytes"].is_array() || event["bytes"].empty() ||
        event["bytes"].size() > UINT16_MAX)
        document.fail(line, message);
    std::vector<Byte> bytes;
    for (const auto& byte : event["bytes"]) {
        if (!byte.is_number_integer() || byte.get<long long>() < 0 || byte.get<long long>() > 255)
            document.fail(line, message);
        bytes.push_back(static_cast<Byte>(byte.get<long long>()));
    }
    return bytes;
}

double eventTime(const CompositionDocument& document, const nlohmann::ordered_json& event, int line,
                 const std::string& what) {
    if (!event.contains("time") || !event["time"].is_number() || !std::isfinite(event["time"].get<double>()) ||
        event["time"].get<double>() < 0)
        document.fail(line, what + ": \"time\" must be a non-negative number of seconds");
    return event["time"].get<double>();
}

}  // namespace

ScriptedMIDI::ScriptedMIDI(const CompositionDocument& document, bool printDestinations) {
    read(document);
    for (SourceSpec& spec : sources_) {
        const MIDIEndpointRef source = VirtualMIDI::createSource(entityFor(spec.device), spec.name);
        for (Event& event : spec.events) {
            event.source = source;
            events_.push_back(event);
        }
    }
    std::stable_sort(events_.begin(), events_.end(), [](const Event& a, const Event& b) { return a.time < b.time; });
    for (const DestinationSpec& spec : destinations_)
        destinationNames_[VirtualMIDI::createDestination(entityFor(spec.device), spec.name)] = spec.name;
    if (printDestinations) {
        listening_ = true;
        VirtualMIDI::setDestinationListener([this](MIDIEndpointRef destination, const VirtualMIDI::ReceivedPacket& p) {
            auto it = destinationNames_.find(destination);
            const std::string name = it != destinationNames_.end() ? it->second : "?";
            std::printf("%s\n", describePacket(name, time_.load(), p.bytes).c_str());
            std::fflush(stdout);
        });
    }
    // Whatever the patches do at construction with these endpoints comes
    // after they have been announced.
    if (!sources_.empty() || !destinations_.empty()) VirtualMIDI::flush();
}

ScriptedMIDI::~ScriptedMIDI() {
    if (listening_) VirtualMIDI::setDestinationListener(nullptr);
}

void ScriptedMIDI::read(const CompositionDocument& document) {
    const auto& json = document.json;
    if (json.contains("midiSources")) {
        EntryLines lines(document, "midiSources");
        if (!json["midiSources"].is_array()) document.fail(lines.keyLine(), "\"midiSources\" must be an array");
        for (const auto& entry : json["midiSources"]) {
            const int line = lines.next();
            SourceSpec spec;
            spec.name = requiredName(document, entry, line, "MIDI source");
            const std::string what = "MIDI source \"" + spec.name + "\"";
            spec.device = optionalString(document, entry, "device", line, what);
            if (!entry.contains("events")) {
                sources_.push_back(std::move(spec));
                continue;
            }
            if (!entry["events"].is_array()) document.fail(line, "\"events\" of " + what + " must be an array");
            for (const auto& item : entry["events"]) {
                const int eventLine = lines.next();
                const std::string eventWhat = "event of " + what;
                if (!item.is_object()) document.fail(eventLine, eventWhat + " must be an object");
                Event event;
                event.time = eventTime(document, item, eventLine, eventWhat);
                event.bytes = eventBytes(document, item, eventLine, eventWhat);
                spec.events.push_back(std::move(event));
            }
            sources_.push_back(std::move(spec));
        }
    }
    if (json.contains("midiDestinations")) {
        EntryLines lines(document, "midiDestinations");
        if (!json["midiDestinations"].is_array())
            document.fail(lines.keyLine(), "\"midiDestinations\" must be an array");
        for (const auto& entry : json["midiDestinations"]) {
            const int line = lines.next();
            DestinationSpec spec;
            spec.name = requiredName(document, entry, line, "MIDI destination");
            spec.device = optionalString(document, entry, "device", line, "MIDI destination \"" + spec.name + "\"");
            destinations_.push_back(std::move(spec));
        }
    }
}

MIDIEntityRef ScriptedMIDI::entityFor(const std::string& device) {
    if (device.empty()) return 0;
    auto it = entities_.find(device);
    if (it != entities_.end()) return it->second;
    // An unnamed entity, so the endpoint is named "<device> <name>".
    const MIDIEntityRef entity = VirtualMIDI::createEntity(VirtualMIDI::createDevice(device), std::nullopt);
    entities_.emplace(device, entity);
    return entity;
}

void ScriptedMIDI::playUntil(double time) {
    time_.store(time);
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
    time_.store(time);
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
