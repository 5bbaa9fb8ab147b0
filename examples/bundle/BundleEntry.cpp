// What tembra calls when it loads the bundle: the contract version the
// bundle was built against, and the function that registers its patch
// classes, in the order `tembra list` shows them.
#include "BeatPhase.h"

#include "host/PlugInBundle.h"
#include "host/QCPatchClass.h"

namespace {

void registerClasses(QCNodeManager& manager) { manager.registerNodeWithClass(patchClass<BeatPhase>()); }

}  // namespace

TEMBRA_BUNDLE(registerClasses)
