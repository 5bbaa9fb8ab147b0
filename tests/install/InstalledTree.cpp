#include "tests/install/InstalledTree.h"

#include "tests/support/TestSupport.h"

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string installBuildTree(const std::string& prefix) {
    const CommandResult r = runCommand(std::string(TEMBRA_CMAKE) + " --install " + shellQuoted(TEMBRA_BINARY_DIR) +
                                       " --prefix " + shellQuoted(prefix));
    return r.status == 0 ? std::string() : "cmake --install failed: " + r.err + r.out;
}

std::string installedTembra(const std::string& prefix, const std::string& arguments,
                            const std::string& workingDirectory, const std::string& environment) {
    return "cd " + shellQuoted(workingDirectory) + " && env -u TEMBRA_BUNDLE -u TEMBRA_BUNDLE_PATH " + environment + " " +
           shellQuoted(prefix + "/bin/tembra") + " " + arguments;
}
