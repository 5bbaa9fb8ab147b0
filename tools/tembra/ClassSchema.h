#pragma once

#include "host/QCNodeManager.h"

#include <nlohmann/json.hpp>

// Every registered class and its ports as one JSON document: what
// `tembra list --json` prints and the editor serves, so every client reads
// the same names, kinds, defaults, ranges and descriptions.
//   {"bundles": [{"name": ..., "classes": [{"name", "bundle", "description",
//     "executionMode", "timeMode", "allowsSubpatches", "ports": [...]}]}]}
nlohmann::ordered_json classSchema(const QCNodeManager& manager);

// One port, as it appears in a class's "ports".
nlohmann::ordered_json portSchema(const QCPort& port);

// One class, as it appears in the document above.
nlohmann::ordered_json classSchemaOf(const QCPatchClass& patchClass, const std::string& bundle);
