#include "Bundle.h"

#include "host/PlugInBundle.h"
#include "tools/tembra/InstallLayout.h"

#include <cstdlib>
#include <filesystem>

namespace {

std::string defaultBundlePath() {
    if (const char* env = std::getenv("TEMBRA_BUNDLE"); env && *env) return env;
    const auto dir = InstallLayout::programDirectory();
    if (!dir.empty()) {
        // Installed, then the build tree.
        for (const auto& candidate : {InstallLayout::bundleDirectory() / "libTembra.so",
                                      dir / ".." / "lib" / "libTembra.so", dir / "libTembra.so"})
            if (std::filesystem::exists(candidate)) return candidate.lexically_normal().string();
    }
    return "libTembra.so";
}

}  // namespace

void loadBundle(const std::string& explicitPath, QCNodeManager& manager) {
    PlugInBundle::load(explicitPath.empty() ? defaultBundlePath() : explicitPath, manager);
}
