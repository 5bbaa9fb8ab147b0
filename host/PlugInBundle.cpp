#include "PlugInBundle.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <stdexcept>

void PlugInBundle::load(const std::string& path, QCNodeManager& manager) {
    // dlopen of a FIFO waits for a writer; of a device, reads it.
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        throw std::runtime_error("cannot load bundle " + path + ": not a regular file");
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
    const auto* version = static_cast<const int*>(dlsym(handle, kBundleContractVersionName));
    if (version == nullptr) {
        dlclose(handle);
        throw std::runtime_error("bundle " + path + " has no " + kBundleContractVersionName);
    }
    if (*version != kBundleContractVersion) {
        const int theirs = *version;
        dlclose(handle);
        throw std::runtime_error("bundle " + path + " was built for contract version " + std::to_string(theirs) +
                                 ", this host speaks version " + std::to_string(kBundleContractVersion));
    }
    QCNodeManager::BundleScope scope(manager, path);
    entry(&manager);
}
