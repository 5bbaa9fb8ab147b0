#include "Bundle.h"

#include "host/PlugInBundle.h"
#include "platform/foundation/NSLog.h"
#include "tools/tembra/InstallLayout.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// The same file reached through two folders or a link is loaded once.
std::string identity(const std::string& path) {
    std::error_code error;
    const fs::path canonical = fs::canonical(path, error);
    return error ? path : canonical.string();
}

std::vector<std::string> bundlesIn(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        if (path.extension() == ".so") found.push_back(path.string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

std::vector<std::string> bundleFolders() {
    std::vector<std::string> folders;
    if (const fs::path own = InstallLayout::bundleDirectory(); !own.empty()) folders.push_back(own.string());
    if (const char* list = std::getenv("TEMBRA_BUNDLE_PATH"); list && *list) {
        std::string rest = list;
        for (size_t start = 0; start <= rest.size();) {
            const size_t colon = std::min(rest.find(':', start), rest.size());
            if (colon > start) folders.push_back(rest.substr(start, colon - start));
            start = colon + 1;
        }
    }
    if (const char* home = std::getenv("HOME"); home && *home)
        folders.push_back((fs::path(home) / ".local" / "lib" / "tembra" / "bundles").string());
    return folders;
}

void loadBundles(const std::vector<std::string>& explicitPaths, QCNodeManager& manager) {
    std::set<std::string> loaded;
    for (const std::string& folder : bundleFolders()) {
        for (const std::string& path : bundlesIn(folder)) {
            if (!loaded.insert(identity(path)).second) continue;
            try {
                PlugInBundle::load(path, manager);
            } catch (const std::exception& e) {
                NSLog("%s; skipped", e.what());
            }
        }
    }
    for (const std::string& path : explicitPaths) {
        if (!loaded.insert(identity(path)).second) continue;
        PlugInBundle::load(path, manager);
    }
}
