#pragma once

#include "host/QCNodeManager.h"

#include <string>

// Finds and loads the patch bundle: the path given, else $TEMBRA_BUNDLE,
// else libTembra.so in ../lib/tembra/bundles (installed), ../lib (the
// build tree) or beside this program. Throws
// std::runtime_error naming the file when it cannot be loaded.
void loadBundle(const std::string& explicitPath, QCNodeManager& manager);
