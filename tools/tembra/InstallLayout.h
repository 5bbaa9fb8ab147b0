#pragma once

#include <filesystem>

// Where tembra's own files are, found from the program's location
// (/proc/self/exe) rather than a prefix fixed at build time, so one tree
// works under /usr, /usr/local or ~/.local:
//   PREFIX/bin/tembra
//   PREFIX/lib/tembra/bundles/   the patch bundles
//   PREFIX/share/tembra/         editor pages, library shaders
// Each is empty when the program's location cannot be read (no /proc).
struct InstallLayout {
    static std::filesystem::path programDirectory();
    static std::filesystem::path bundleDirectory();
    // PREFIX/share/tembra, whether or not it exists: a build tree has none,
    // and callers fall back to the source tree's files then.
    static std::filesystem::path dataDirectory();
};
