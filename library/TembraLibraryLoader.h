#pragma once

#include "host/QCNodeManager.h"

// The library bundle: the patches a performer wires the others together
// with (values and time, input, images).
class TembraLibraryLoader {
public:
    static void registerNodesWithManager(QCNodeManager& manager);
};
