#pragma once

#include "host/QCNodeManager.h"

#include <nlohmann/json.hpp>

// The classes of every loaded bundle as JSON, for the editor's palette.
nlohmann::ordered_json classSchema(const QCNodeManager& manager);
