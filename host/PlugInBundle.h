#pragma once

#include "QCNodeManager.h"

#include <string>

// The exported entry of a bundle: registers its classes with the manager.
extern "C" {
typedef void (*TembraBundleEntry)(QCNodeManager* manager);
}
constexpr const char* kBundleEntryName = "TembraBundleRegisterNodes";

// A bundle loaded with dlopen; stays loaded for the life of the process.
class PlugInBundle {
public:
    // Loads `path` and calls its entry with `manager`. Throws
    // std::runtime_error naming the file when it cannot be loaded or has no
    // entry.
    static void load(const std::string& path, QCNodeManager& manager);
};
