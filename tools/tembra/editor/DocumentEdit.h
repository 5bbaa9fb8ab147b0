#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// One edit of a composition document, as a client sends it ("id" is the
// client's own number for the message, named in the host's answer):
//   {"type": "add", "class": C, "patch"?: ID, "inputs"?: {...}, "editor"?: {...}}
//   {"type": "remove", "patch": ID}
//   {"type": "connect", "from": "id.output", "to": "id.input"}
//   {"type": "disconnect", "to": "id.input", "from"?: "id.output"}
//   {"type": "set", "port": "id.input", "value": V}   (null: back to the default)
//   {"type": "map", "to": "id.input", "map": M}      (null: no map)
//   {"type": "move", "patch": ID, "x": X, "y": Y}
//   {"type": "rename", "patch": ID, "to": NEW}
// Returns the edited document, or nothing with `error` saying why. Only the
// edit's own shape is checked here; whether the result is a composition
// that runs (classes, ports, kinds, cycles) is the document check's task.
std::optional<nlohmann::ordered_json> applyDocumentEdit(const nlohmann::ordered_json& document,
                                                         const nlohmann::ordered_json& edit, std::string* error);

// True when `type` names one of the edits above.
bool isDocumentEdit(const std::string& type);
