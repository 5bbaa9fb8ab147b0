#include "CompositionDocument.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

std::string locate(const std::string& file, int line) {
    return line > 0 ? file + ":" + std::to_string(line) : file;
}

int lineAtByte(const std::string& text, size_t byte) {
    byte = std::min(byte, text.size());
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(byte), '\n'));
}

// "id.port" -> ("id", "port"), split at the last full stop.
bool splitEndpoint(const std::string& text, std::string& id, std::string& port) {
    const size_t dot = text.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == text.size()) return false;
    id = text.substr(0, dot);
    port = text.substr(dot + 1);
    return true;
}

}  // namespace

CompositionError::CompositionError(const std::string& file, int line, const std::string& message)
    : std::runtime_error(locate(file, line) + ": " + message) {}

CompositionDocument CompositionDocument::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CompositionError(path, 0, "cannot open composition file");
    std::stringstream buffer;
    buffer << in.rdbuf();
    return parse(buffer.str(), path);
}

CompositionDocument CompositionDocument::parse(const std::string& text, const std::string& path) {
    CompositionDocument doc;
    doc.path = path;
    doc.directory = std::filesystem::path(path).parent_path().string();
    doc.text = text;
    try {
        doc.json = nlohmann::ordered_json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        std::string what = e.what();
        // "[json.exception.parse_error.101] parse error at line 3, column 5: ..." -> the part after the colon
        const size_t colon = what.find(": ");
        doc.fail(lineAtByte(text, e.byte > 0 ? e.byte - 1 : 0),
                 "malformed JSON: " + (colon == std::string::npos ? what : what.substr(colon + 2)));
    }
    const auto& json = doc.json;
    if (!json.is_object()) doc.fail(1, "a composition is a JSON object");

    if (json.contains("renderSize")) {
        const auto& size = json["renderSize"];
        if (!size.is_array() || size.size() != 2 || !size[0].is_number_unsigned() || !size[1].is_number_unsigned() ||
            size[0].get<int64_t>() < 1 || size[1].get<int64_t>() < 1 || size[0].get<int64_t>() > 16384 ||
            size[1].get<int64_t>() > 16384)
            doc.fail(doc.lineOf("\"renderSize\""), "renderSize must be [width, height], each 1 to 16384");
        doc.renderWidth = size[0].get<int>();
        doc.renderHeight = size[1].get<int>();
    }

    if (!json.contains("patches") || !json["patches"].is_array())
        doc.fail(1, "a composition needs a \"patches\" array");
    std::set<std::string> ids;
    size_t searchFrom = 0;
    for (const auto& entry : json["patches"]) {
        if (!entry.is_object() || !entry.contains("id") || !entry["id"].is_string() || !entry.contains("class") ||
            !entry["class"].is_string())
            doc.fail(doc.lineOf("{", searchFrom), "each patch needs a string \"id\" and a string \"class\"");
        PatchSpec spec;
        spec.id = entry["id"].get<std::string>();
        spec.className = entry["class"].get<std::string>();
        spec.json = entry;
        spec.line = doc.lineOfKeyValue("id", spec.id, searchFrom);
        if (spec.id.empty() || spec.id.find('.') != std::string::npos)
            doc.fail(spec.line, "patch id \"" + spec.id + "\" must be non-empty and contain no '.'");
        if (!ids.insert(spec.id).second) doc.fail(spec.line, "duplicate patch id \"" + spec.id + "\"");
        if (entry.contains("inputs")) {
            if (!entry["inputs"].is_object())
                doc.fail(spec.line, "\"inputs\" of patch \"" + spec.id + "\" must be an object");
            spec.inputs = entry["inputs"];
        } else {
            spec.inputs = nlohmann::ordered_json::object();
        }
        doc.patches.push_back(std::move(spec));
        searchFrom = doc.text.find('\n', doc.text.find("\"" + doc.patches.back().id + "\"", searchFrom));
        if (searchFrom == std::string::npos) searchFrom = 0;
    }

    if (json.contains("connections")) {
        if (!json["connections"].is_array()) doc.fail(doc.lineOf("\"connections\""), "\"connections\" must be an array");
        for (const auto& entry : json["connections"]) {
            if (!entry.is_object() || !entry.contains("from") || !entry["from"].is_string() || !entry.contains("to") ||
                !entry["to"].is_string())
                doc.fail(doc.lineOf("\"connections\""), "each connection needs string \"from\" and \"to\"");
            ConnectionSpec c;
            const auto from = entry["from"].get<std::string>();
            const auto to = entry["to"].get<std::string>();
            c.line = doc.lineOfKeyValue("from", from);
            if (!splitEndpoint(from, c.fromId, c.fromPort))
                doc.fail(c.line, "connection source \"" + from + "\" is not of the form id.port");
            if (!splitEndpoint(to, c.toId, c.toPort))
                doc.fail(c.line, "connection target \"" + to + "\" is not of the form id.port");
            doc.connections.push_back(std::move(c));
        }
    }
    return doc;
}

int CompositionDocument::lineOf(const std::string& needle, size_t from) const {
    const size_t at = text.find(needle, from);
    return at == std::string::npos ? 0 : lineAtByte(text, at);
}

int CompositionDocument::lineOfKeyValue(const std::string& key, const std::string& value, size_t from) const {
    const std::string quotedKey = nlohmann::json(key).dump();
    const std::string quotedValue = nlohmann::json(value).dump();
    for (size_t at = text.find(quotedKey, from); at != std::string::npos; at = text.find(quotedKey, at + 1)) {
        size_t i = at + quotedKey.size();
        while (i < text.size() && (std::isspace(static_cast<unsigned char>(text[i])) || text[i] == ':')) ++i;
        if (text.compare(i, quotedValue.size(), quotedValue) == 0) return lineAtByte(text, at);
    }
    return 0;
}

const PatchSpec* CompositionDocument::patchWithId(const std::string& id) const {
    for (const PatchSpec& p : patches)
        if (p.id == id) return &p;
    return nullptr;
}

void CompositionDocument::fail(int line, const std::string& message) const {
    throw CompositionError(path, line, message);
}
