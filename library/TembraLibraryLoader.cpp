#include "TembraLibraryLoader.h"

#include "host/PlugInBundle.h"
#include "image/Billboard.h"
#include "image/Clear.h"
#include "image/ImageFile.h"
#include "library/input/Keyboard.h"
#include "library/input/Mouse.h"
#include "library/input/OSCReceive.h"
#include "library/input/OSCSend.h"

void TembraLibraryLoader::registerNodesWithManager(QCNodeManager& manager) {
    manager.registerNodeWithClass(patchClass<Clear>());
    manager.registerNodeWithClass(patchClass<Billboard>());
    manager.registerNodeWithClass(patchClass<ImageFile>());
    manager.registerNodeWithClass(patchClass<Keyboard>());
    manager.registerNodeWithClass(patchClass<Mouse>());
    manager.registerNodeWithClass(patchClass<OSCReceive>());
    manager.registerNodeWithClass(patchClass<OSCSend>());
}

TEMBRA_BUNDLE(TembraLibraryLoader::registerNodesWithManager)
