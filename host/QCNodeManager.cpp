#include "QCNodeManager.h"

QCNodeManager& QCNodeManager::shared() {
    static QCNodeManager manager;
    return manager;
}

bool QCNodeManager::registerNodeWithClass(const QCPatchClass& patchClass) {
    if (classNamed(patchClass.name)) return false;
    bundle_.push_back(patchClass);
    return true;
}

bool QCNodeManager::registerHostClass(const QCPatchClass& patchClass) {
    if (classNamed(patchClass.name)) return false;
    host_.push_back(patchClass);
    return true;
}

const QCPatchClass* QCNodeManager::classNamed(const std::string& name) const {
    for (const auto* list : {&bundle_, &host_})
        for (const QCPatchClass& c : *list)
            if (c.name == name) return &c;
    return nullptr;
}
