#pragma once

#include "host/QCNodeManager.h"

// Registers the host's own patch classes (Clear, Billboard, ImageFile) with
// `manager`, apart from any bundle's. Registering again changes nothing.
void registerHostBuiltins(QCNodeManager& manager);
