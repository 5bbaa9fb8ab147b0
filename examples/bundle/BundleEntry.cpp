// The one function tembra calls when it loads the bundle: it registers the
// bundle's patch classes, in the order `tembra list` shows them.
#include "BeatPhase.h"

#include "host/PlugInBundle.h"
#include "host/QCPatchClass.h"

extern "C" __attribute__((visibility("default"))) void TembraBundleRegisterNodes(QCNodeManager* manager) {
    manager->registerNodeWithClass(patchClass<BeatPhase>());
}
