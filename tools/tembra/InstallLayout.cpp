#include "tools/tembra/InstallLayout.h"

std::filesystem::path InstallLayout::programDirectory() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

std::filesystem::path InstallLayout::bundleDirectory() {
    const auto bin = programDirectory();
    return bin.empty() ? bin : (bin.parent_path() / "lib" / "tembra" / "bundles");
}

std::filesystem::path InstallLayout::dataDirectory() {
    const auto bin = programDirectory();
    return bin.empty() ? bin : (bin.parent_path() / "share" / "tembra");
}
