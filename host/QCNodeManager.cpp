#include "QCNodeManager.h"

#include "platform/foundation/NSLog.h"

#include <filesystem>

QCNodeManager& QCNodeManager::shared() {
    static QCNodeManager manager;
    return manager;
}

bool QCNodeManager::registerNodeWithClass(const QCPatchClass& patchClass) {
    if (classNamed(patchClass.name)) {
        const std::string first = bundlePathOf(patchClass.name);
        if (!loading_.empty() && !first.empty() && first != loading_)
            NSLog("class %s of %s is already registered by %s; keeping the first", patchClass.name.c_str(),
                  loading_.c_str(), first.c_str());
        return false;
    }
    bundle_.push_back(patchClass);
    bundlePaths_.push_back(loading_);
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

std::string QCNodeManager::bundlePathOf(const std::string& className) const {
    for (size_t i = 0; i < bundle_.size(); ++i)
        if (bundle_[i].name == className) return bundlePaths_[i];
    return {};
}

std::string QCNodeManager::bundleNameOf(const std::string& className) const {
    const std::string path = bundlePathOf(className);
    return path.empty() ? std::string() : bundleName(path);
}

std::string QCNodeManager::bundleName(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    if (name.rfind("lib", 0) == 0 && name.size() > 3) name.erase(0, 3);
    if (const auto dot = name.find(".so"); dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

QCNodeManager::BundleScope::BundleScope(QCNodeManager& manager, const std::string& path)
    : manager_(manager), previous_(manager.loading_) {
    manager_.loading_ = path;
}

QCNodeManager::BundleScope::~BundleScope() { manager_.loading_ = previous_; }
