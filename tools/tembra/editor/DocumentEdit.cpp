#include "tools/tembra/editor/DocumentEdit.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <stdexcept>

namespace {

using Json = nlohmann::ordered_json;

struct EditError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string text(const Json& edit, const char* key) {
    if (!edit.contains(key) || !edit[key].is_string() || edit[key].get_ref<const std::string&>().empty())
        throw EditError(std::string("\"") + key + "\" must be a non-empty string");
    return edit[key].get<std::string>();
}

double number(const Json& edit, const char* key) {
    if (!edit.contains(key) || !edit[key].is_number()) throw EditError(std::string("\"") + key + "\" must be a number");
    return edit[key].get<double>();
}

Json& patches(Json& document) {
    if (!document.contains("patches") || !document["patches"].is_array()) document["patches"] = Json::array();
    return document["patches"];
}

Json& connections(Json& document) {
    if (!document.contains("connections") || !document["connections"].is_array()) document["connections"] = Json::array();
    return document["connections"];
}

Json& patchWithId(Json& document, const std::string& id) {
    for (Json& patch : patches(document))
        if (patch.value("id", "") == id) return patch;
    throw EditError("there is no patch \"" + id + "\"");
}

std::string idOf(const std::string& endpoint) {
    const size_t dot = endpoint.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == endpoint.size())
        throw EditError("\"" + endpoint + "\" is not of the form id.port");
    return endpoint.substr(0, dot);
}

bool hasId(Json& document, const std::string& id) {
    for (const Json& patch : patches(document))
        if (patch.value("id", "") == id) return true;
    return false;
}

// "TembraFire" -> "fire", "ColorMap" -> "colormap2" when "colormap" is taken.
std::string freshId(Json& document, const std::string& className) {
    std::string base = className.rfind("Tembra", 0) == 0 && className.size() > 6 ? className.substr(6) : className;
    std::string clean;
    for (char c : base)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') clean += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (clean.empty()) clean = "patch";
    if (!hasId(document, clean)) return clean;
    for (int n = 2;; ++n)
        if (!hasId(document, clean + std::to_string(n))) return clean + std::to_string(n);
}

void eraseConnections(Json& document, const std::function<bool(const Json&)>& matches) {
    Json& list = connections(document);
    Json kept = Json::array();
    for (const Json& c : list)
        if (!matches(c)) kept.push_back(c);
    list = std::move(kept);
}

void apply(Json& document, const Json& edit) {
    const std::string type = edit.value("type", "");
    if (type == "add") {
        const std::string className = text(edit, "class");
        const std::string id = edit.contains("patch") ? text(edit, "patch") : freshId(document, className);
        if (hasId(document, id)) throw EditError("there is already a patch \"" + id + "\"");
        Json patch = {{"id", id}, {"class", className}};
        if (edit.contains("inputs")) patch["inputs"] = edit["inputs"];
        if (edit.contains("editor")) patch["editor"] = edit["editor"];
        patches(document).push_back(std::move(patch));
    } else if (type == "remove") {
        const std::string id = text(edit, "patch");
        patchWithId(document, id);
        Json& list = patches(document);
        list.erase(std::remove_if(list.begin(), list.end(), [&](const Json& p) { return p.value("id", "") == id; }),
                   list.end());
        eraseConnections(document, [&](const Json& c) {
            return idOf(c.value("from", ".")) == id || idOf(c.value("to", ".")) == id;
        });
    } else if (type == "connect") {
        const std::string from = text(edit, "from"), to = text(edit, "to");
        patchWithId(document, idOf(from));
        patchWithId(document, idOf(to));
        // An input takes one wire: a new one replaces the old.
        eraseConnections(document, [&](const Json& c) { return c.value("to", "") == to; });
        connections(document).push_back({{"from", from}, {"to", to}});
    } else if (type == "disconnect") {
        const std::string to = text(edit, "to");
        const std::string from = edit.contains("from") ? text(edit, "from") : std::string();
        const size_t before = connections(document).size();
        eraseConnections(document, [&](const Json& c) {
            return c.value("to", "") == to && (from.empty() || c.value("from", "") == from);
        });
        if (connections(document).size() == before) throw EditError("no connection goes to \"" + to + "\"");
    } else if (type == "set") {
        const std::string port = text(edit, "port");
        Json& patch = patchWithId(document, idOf(port));
        if (!edit.contains("value")) throw EditError("\"value\" is missing");
        if (!patch.contains("inputs") || !patch["inputs"].is_object()) patch["inputs"] = Json::object();
        const std::string name = port.substr(port.rfind('.') + 1);
        if (edit["value"].is_null()) patch["inputs"].erase(name);
        else patch["inputs"][name] = edit["value"];
        if (patch["inputs"].empty()) patch.erase("inputs");
    } else if (type == "map") {
        const std::string to = text(edit, "to");
        if (!edit.contains("map")) throw EditError("\"map\" is missing");
        for (Json& c : connections(document))
            if (c.value("to", "") == to) {
                if (edit["map"].is_null()) c.erase("map");
                else c["map"] = edit["map"];
                return;
            }
        throw EditError("no connection goes to \"" + to + "\"");
    } else if (type == "move") {
        Json& patch = patchWithId(document, text(edit, "patch"));
        patch["editor"]["x"] = number(edit, "x");
        patch["editor"]["y"] = number(edit, "y");
    } else if (type == "rename") {
        const std::string id = text(edit, "patch"), to = text(edit, "to");
        Json& patch = patchWithId(document, id);
        if (to != id && hasId(document, to)) throw EditError("there is already a patch \"" + to + "\"");
        patch["id"] = to;
        for (Json& c : connections(document))
            for (const char* end : {"from", "to"}) {
                const std::string endpoint = c.value(end, "");
                const size_t dot = endpoint.rfind('.');
                if (dot != std::string::npos && endpoint.substr(0, dot) == id) c[end] = to + endpoint.substr(dot);
            }
    } else {
        throw EditError("unknown edit \"" + type + "\"");
    }
}

}  // namespace

bool isDocumentEdit(const std::string& type) {
    for (const char* edit : {"add", "remove", "connect", "disconnect", "set", "map", "move", "rename"})
        if (type == edit) return true;
    return false;
}

std::optional<Json> applyDocumentEdit(const Json& document, const Json& edit, std::string* error) {
    Json edited = document;
    try {
        if (!edit.is_object()) throw EditError("an edit is a JSON object");
        apply(edited, edit);
    } catch (const EditError& e) {
        if (error) *error = e.what();
        return std::nullopt;
    } catch (const nlohmann::json::exception& e) {
        if (error) *error = std::string("malformed edit: ") + e.what();
        return std::nullopt;
    }
    return edited;
}
