#include "CompositionDocument.h"

#include "NearestName.h"
#include "platform/foundation/RegularFile.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <unordered_set>

namespace {

using Keys = std::initializer_list<std::string_view>;

std::string locate(const std::string& file, int line) {
    return line > 0 ? file + ":" + std::to_string(line) : file;
}

// "id.port" -> ("id", "port"), split at the last full stop.
bool splitEndpoint(const std::string& text, std::string& id, std::string& port) {
    const size_t dot = text.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == text.size()) return false;
    id = text.substr(0, dot);
    port = text.substr(dot + 1);
    return true;
}

// Refuses a key of `object` that is not one of `known`, naming the nearest
// known key.
void checkKeys(const CompositionDocument& doc, const LocatedValue& object, Keys known) {
    if (!object.json().is_object()) return;
    for (size_t i = 0; i < object.size(); ++i) {
        const std::string& key = object.key(i);
        if (std::find(known.begin(), known.end(), key) != known.end()) continue;
        doc.fail(object.item(i).keyLine(), "unknown key " + quotedShort(key) + didYouMean(key, known));
    }
}

// Keys within the MIDI sections, where their shape allows; the rest of their
// checks belong to whoever plays them.
void checkMIDIKeys(const CompositionDocument& doc) {
    if (auto sources = doc.root().member("midiSources"); sources && sources->json().is_array())
        for (size_t i = 0; i < sources->size(); ++i) {
            const LocatedValue source = sources->item(i);
            checkKeys(doc, source, {"name", "device", "events"});
            if (auto events = source.member("events"); events && events->json().is_array())
                for (size_t j = 0; j < events->size(); ++j) checkKeys(doc, events->item(j), {"time", "bytes"});
        }
    if (auto destinations = doc.root().member("midiDestinations"); destinations && destinations->json().is_array())
        for (size_t i = 0; i < destinations->size(); ++i) checkKeys(doc, destinations->item(i), {"name", "device"});
    if (auto events = doc.root().member("inputEvents"); events && events->json().is_array())
        for (size_t i = 0; i < events->size(); ++i)
            checkKeys(doc, events->item(i), {"time", "key", "down", "x", "y", "button"});
}

// [low, high]: two finite numbers.
bool readRange(const nlohmann::ordered_json& value, double& low, double& high) {
    if (!value.is_array() || value.size() != 2 || !value[0].is_number() || !value[1].is_number()) return false;
    low = value[0].get<double>();
    high = value[1].get<double>();
    return std::isfinite(low) && std::isfinite(high);
}

// "map": [min, max] onto the target, or {"from": [..], "to": [..], "curve": k}.
ValueMap readMap(const CompositionDocument& doc, const LocatedValue& map) {
    ValueMap m;
    m.line = map.keyLine();
    const std::string shape =
        "a map is [min, max] or {\"from\": [min, max], \"to\": [min, max], \"curve\": exponent}";
    if (map.json().is_array()) {
        if (!readRange(map.json(), m.toMin, m.toMax))
            doc.fail(map.line(), "map " + dumpShort(map.json()) + " is not two numbers; " + shape);
        return m;
    }
    if (!map.json().is_object()) doc.fail(map.line(), "map " + dumpShort(map.json()) + ": " + shape);
    checkKeys(doc, map, {"from", "to", "curve"});
    const auto to = map.member("to");
    if (!to) doc.fail(map.line(), "map needs \"to\": [min, max]");
    if (!readRange(to->json(), m.toMin, m.toMax))
        doc.fail(to->line(), "map \"to\" " + dumpShort(to->json()) + " is not two numbers [min, max]");
    if (const auto from = map.member("from")) {
        if (!readRange(from->json(), m.fromMin, m.fromMax))
            doc.fail(from->line(), "map \"from\" " + dumpShort(from->json()) + " is not two numbers [min, max]");
        if (m.fromMin == m.fromMax)
            doc.fail(from->line(), "map \"from\" " + dumpShort(from->json()) + " is an empty range");
        m.hasFrom = true;
    }
    if (const auto curve = map.member("curve")) {
        if (!curve->json().is_number() || !std::isfinite(curve->json().get<double>()) ||
            curve->json().get<double>() <= 0)
            doc.fail(curve->line(), "map \"curve\" " + dumpShort(curve->json()) + " must be a number above 0");
        m.curve = curve->json().get<double>();
    }
    return m;
}

}  // namespace

CompositionError::CompositionError(const std::string& file, int line, const std::string& message)
    : std::runtime_error(locate(file, line) + ": " + message) {}

CompositionDocument CompositionDocument::load(const std::string& path) {
    // A FIFO or a device would block or never end; a huge file is no composition.
    std::string error;
    std::optional<std::string> text = readRegularFile(path, kMaxTextBytes, &error);
    if (!text) {
        if (error.rfind(path + ": ", 0) == 0) error.erase(0, path.size() + 2);
        throw CompositionError(path, 0, "cannot read the composition: " + error);
    }
    return parse(*text, path);
}

CompositionDocument CompositionDocument::parse(const std::string& text, const std::string& path) {
    CompositionDocument doc;
    doc.path = path;
    doc.directory = std::filesystem::path(path).parent_path().string();
    if (text.size() > kMaxTextBytes)
        doc.fail(0, "the composition is " + std::to_string(text.size()) + " bytes; a composition may have at most " +
                        std::to_string(kMaxTextBytes / (1024 * 1024)) + " MiB");
    doc.text = text;
    try {
        parseJSONWithLines(text, kMaxDepth, doc.json, doc.lines);
    } catch (const JSONTextError& e) {
        doc.fail(e.line, e.what());
    }
    const LocatedValue root = doc.root();
    if (!root.json().is_object()) doc.fail(root.line(), "a composition is a JSON object");
    checkKeys(doc, root, {"renderSize", "patches", "connections", "midiSources", "midiDestinations", "inputEvents"});

    if (auto size = root.member("renderSize")) {
        const auto& value = size->json();
        if (!value.is_array() || value.size() != 2 || !value[0].is_number_unsigned() ||
            !value[1].is_number_unsigned() || value[0].get<uint64_t>() < 1 || value[1].get<uint64_t>() < 1 ||
            value[0].get<uint64_t>() > 16384 || value[1].get<uint64_t>() > 16384)
            doc.fail(size->line(), "renderSize must be [width, height], each 1 to 16384");
        doc.renderWidth = value[0].get<int>();
        doc.renderHeight = value[1].get<int>();
    }

    const auto patches = root.member("patches");
    if (!patches || !patches->json().is_array())
        doc.fail(patches ? patches->line() : root.line(), "a composition needs a \"patches\" array");
    std::unordered_set<std::string> ids;
    doc.patches.reserve(patches->size());
    for (size_t i = 0; i < patches->size(); ++i) {
        const LocatedValue entry = patches->item(i);
        const auto& json = entry.json();
        const auto id = entry.member("id");
        const auto className = entry.member("class");
        // "editor": where the editor placed the patch; nothing else reads it.
        checkKeys(doc, entry, {"id", "class", "inputs", "name", "source", "sourceType", "parameters", "expression", "shader", "editor"});
        if (!json.is_object() || !id || !id->json().is_string() || !className || !className->json().is_string())
            doc.fail(entry.line(), "each patch needs a string \"id\" and a string \"class\"");
        if (auto parameters = entry.member("parameters"); parameters && parameters->json().is_object())
            for (size_t p = 0; p < parameters->size(); ++p) checkKeys(doc, parameters->item(p), {"type", "size"});
        PatchSpec spec;
        spec.id = id->json().get<std::string>();
        spec.className = className->json().get<std::string>();
        spec.json = json;
        spec.lines = entry.lines();
        spec.line = id->keyLine();
        if (spec.id.empty() || spec.id.find('.') != std::string::npos)
            doc.fail(spec.line, "patch id " + quotedShort(spec.id) + " must be non-empty and contain no '.'");
        if (!ids.insert(spec.id).second) doc.fail(spec.line, "duplicate patch id " + quotedShort(spec.id));
        if (auto inputs = entry.member("inputs")) {
            if (!inputs->json().is_object())
                doc.fail(inputs->line(), "\"inputs\" of patch " + quotedShort(spec.id) + " must be an object");
            spec.inputs = inputs->json();
        } else {
            spec.inputs = nlohmann::ordered_json::object();
        }
        doc.patches.push_back(std::move(spec));
    }

    if (auto connections = root.member("connections")) {
        if (!connections->json().is_array()) doc.fail(connections->line(), "\"connections\" must be an array");
        doc.connections.reserve(connections->size());
        for (size_t i = 0; i < connections->size(); ++i) {
            const LocatedValue entry = connections->item(i);
            const auto from = entry.member("from");
            const auto to = entry.member("to");
            checkKeys(doc, entry, {"from", "to", "map"});
            if (!entry.json().is_object() || !from || !from->json().is_string() || !to || !to->json().is_string())
                doc.fail(entry.line(), "each connection needs string \"from\" and \"to\"");
            ConnectionSpec c;
            c.line = from->keyLine();
            c.toLine = to->keyLine();
            const auto& fromText = from->json().get_ref<const std::string&>();
            const auto& toText = to->json().get_ref<const std::string&>();
            if (!splitEndpoint(fromText, c.fromId, c.fromPort))
                doc.fail(c.line, "connection source " + quotedShort(fromText) + " is not of the form id.port");
            if (!splitEndpoint(toText, c.toId, c.toPort))
                doc.fail(c.toLine, "connection target " + quotedShort(toText) + " is not of the form id.port");
            if (const auto map = entry.member("map")) c.map = readMap(doc, *map);
            doc.connections.push_back(std::move(c));
        }
    }
    checkMIDIKeys(doc);
    return doc;
}

const PatchSpec* CompositionDocument::patchWithId(const std::string& id) const {
    for (const PatchSpec& p : patches)
        if (p.id == id) return &p;
    return nullptr;
}

void CompositionDocument::fail(int line, const std::string& message) const {
    throw CompositionError(path, line, message);
}
