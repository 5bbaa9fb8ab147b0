#pragma once

#include "QCNodeManager.h"

#include <string>

// What a bundle exports: an entry that registers its classes with the
// manager, and the version of the patch contract it was built against.
extern "C" {
typedef void (*TembraBundleEntry)(QCNodeManager* manager);
}
constexpr const char* kBundleEntryName = "TembraBundleRegisterNodes";
constexpr const char* kBundleContractVersionName = "TembraBundleContractVersion";
// Raised whenever QCPatch, the ports or the manager change in a way that a
// bundle built before would misread (a port kind added last is not such a change).
constexpr int kBundleContractVersion = 1;

// Exports the contract version and an entry that calls `registerFunction`
// (void(QCNodeManager&)); one line in one source file of a bundle.
#define TEMBRA_BUNDLE(registerFunction)                                                              \
    extern "C" __attribute__((visibility("default"))) const int TembraBundleContractVersion =        \
        kBundleContractVersion;                                                                      \
    extern "C" __attribute__((visibility("default"))) void TembraBundleRegisterNodes(QCNodeManager* m) { \
        registerFunction(*m);                                                                        \
    }

// A bundle loaded with dlopen; stays loaded for the life of the process.
class PlugInBundle {
public:
    // Loads `path`, checks its contract version and calls its entry with
    // `manager`, which records `path` as the origin of what it registers.
    // Throws std::runtime_error naming the file when it cannot be loaded, is
    // not a regular file, has no entry or speaks another contract version.
    static void load(const std::string& path, QCNodeManager& manager);
};
