#pragma once

#include <string>

// Quotes `text` for the shell.
std::string shellQuoted(const std::string& text);

// Installs this build under `prefix` with cmake --install; returns the
// command's standard error when it fails, empty when it succeeds.
std::string installBuildTree(const std::string& prefix);

// Runs `arguments` through the tembra under `prefix`, as a user whose
// environment points at no build tree, from the folder `workingDirectory`.
// `environment` adds NAME=VALUE assignments.
std::string installedTembra(const std::string& prefix, const std::string& arguments,
                            const std::string& workingDirectory, const std::string& environment = "");
