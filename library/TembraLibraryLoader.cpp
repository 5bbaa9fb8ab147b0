#include "TembraLibraryLoader.h"

#include "host/PlugInBundle.h"
#include "image/Billboard.h"
#include "image/Clear.h"
#include "image/ImageFile.h"

void TembraLibraryLoader::registerNodesWithManager(QCNodeManager& manager) {
    manager.registerNodeWithClass(patchClass<Clear>());
    manager.registerNodeWithClass(patchClass<Billboard>());
    manager.registerNodeWithClass(patchClass<ImageFile>());
}

TEMBRA_BUNDLE(TembraLibraryLoader::registerNodesWithManager)
