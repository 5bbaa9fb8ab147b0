#pragma once

#include "host/QCNodeManager.h"

#include <string>
#include <vector>

// Loads the patch bundles, in this order: every *.so in
// ../lib/tembra/bundles beside this program, in each folder of
// $TEMBRA_BUNDLE_PATH (colon-separated), in ~/.local/lib/tembra/bundles, then
// the files given (--bundle). A file reached twice loads once. A bundle found
// in a folder that fails to load is skipped with one log line saying why; a
// file given that fails throws std::runtime_error naming it.
void loadBundles(const std::vector<std::string>& explicitPaths, QCNodeManager& manager);

// The folders searched, in order (those that do not exist included).
std::vector<std::string> bundleFolders();
