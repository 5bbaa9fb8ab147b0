#include "HostBuiltins.h"

#include "Billboard.h"
#include "Clear.h"
#include "ImageFile.h"

void registerHostBuiltins(QCNodeManager& manager) {
    // The manager refuses a name it already has, so a second call is harmless.
    manager.registerHostClass(patchClass<Clear>());
    manager.registerHostClass(patchClass<Billboard>());
    manager.registerHostClass(patchClass<ImageFile>());
}
