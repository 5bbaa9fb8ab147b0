#pragma once

#include "host/QCNodeManager.h"

// The bundle's registration class: hands the host every patch class.
class TembraPatchLoader {
public:
    static void registerNodesWithManager(QCNodeManager& manager);
};
