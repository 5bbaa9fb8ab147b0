#pragma once

#include "host/QCNodeManager.h"

#include <ostream>

// Prints every registered class in registration order with its description,
// modes and ports (kind, default, range and unit, path kind, description),
// under a heading per bundle, then the classes registered by the host itself.
void listClasses(const QCNodeManager& manager, std::ostream& out);

// The same as one JSON document (see ClassSchema.h).
void listClassesAsJSON(const QCNodeManager& manager, std::ostream& out);
