#pragma once

#include "host/QCNodeManager.h"

#include <ostream>

// Prints every registered class in registration order with its modes and
// ports (kind and default value), under a heading per bundle, then the
// classes registered by the host itself.
void listClasses(const QCNodeManager& manager, std::ostream& out);
