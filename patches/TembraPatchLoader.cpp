#include "TembraPatchLoader.h"

#include "platform/foundation/NSLog.h"
#include "text/TembraStringWithFile.h"
#include "text/TembraStringWithURL.h"

void TembraPatchLoader::registerNodesWithManager(QCNodeManager& manager) {
    NSLog("TembraPatchLoader::registerNodesWithManager()");
    manager.registerNodeWithClass(patchClass<TembraStringWithFile>());
    manager.registerNodeWithClass(patchClass<TembraStringWithURL>());
}

extern "C" __attribute__((visibility("default"))) void TembraBundleRegisterNodes(QCNodeManager* manager) {
    TembraPatchLoader::registerNodesWithManager(*manager);
}
