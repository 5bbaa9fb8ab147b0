#include "Bundle.h"

#include "host/PlugInBundle.h"

#include <cstdlib>
#include <filesystem>

namespace {

std::string defaultBundlePath() {
    if (const char* env = std::getenv("TEMBRA_BUNDLE"); env && *env) return env;
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto dir = exe.parent_path();
        for (const auto& candidate : {dir / ".." / "lib" / "libTembra.so", dir / "libTembra.so"})
            if (std::filesystem::exists(candidate)) return candidate.lexically_normal().string();
    }
    return "libTembra.so";
}

}  // namespace

void loadBundle(const std::string& explicitPath, QCNodeManager& manager) {
    PlugInBundle::load(explicitPath.empty() ? defaultBundlePath() : explicitPath, manager);
}
