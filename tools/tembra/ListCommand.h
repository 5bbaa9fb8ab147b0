#pragma once

#include "host/QCNodeManager.h"

#include <ostream>

// Prints every registered class in registration order with its modes and
// ports (kind and default value), the bundle's classes first, then the
// host's built-in classes.
void listClasses(const QCNodeManager& manager, std::ostream& out);
