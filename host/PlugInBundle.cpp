#include "PlugInBundle.h"

#include <dlfcn.h>

#include <stdexcept>

void PlugInBundle::load(const std::string& path, QCNodeManager& manager) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        throw std::runtime_error("cannot load bundle " + path + ": " + (reason ? reason : "unknown error"));
    }
    dlerror();
    auto entry = reinterpret_cast<TembraBundleEntry>(dlsym(handle, kBundleEntryName));
    if (entry == nullptr) {
        dlclose(handle);
        throw std::runtime_error("bundle " + path + " has no entry " + kBundleEntryName);
    }
    entry(&manager);
}
