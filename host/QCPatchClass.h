#pragma once

#include "QCPatch.h"

#include <functional>
#include <memory>
#include <string>

// What the node manager knows of a patch class.
struct QCPatchClass {
    std::string name;
    std::string description;  // one line: what a performer uses it for
    std::function<std::unique_ptr<QCPatch>(const std::string& identifier)> create;
    int executionMode = 0;
    bool allowsSubpatches = false;
    int (*timeModeWithIdentifier)(const std::string& identifier) = nullptr;
    // Its ports come and go as it runs (a shader's follow its file): a
    // document's values and connections for a port it lacks wait for it
    // instead of being errors.
    bool portsFollowSource = false;
};

// The class object of patch class T, which declares
// `static constexpr const char* className` and the class operations, and
// may declare `static constexpr const char* classDescription`.
template <class T>
QCPatchClass patchClass() {
    const char* description = "";
    if constexpr (requires { T::classDescription; }) description = T::classDescription;
    bool portsFollowSource = false;
    if constexpr (requires { T::portsFollowSource; }) portsFollowSource = T::portsFollowSource;
    return QCPatchClass{
        T::className,
        description,
        [](const std::string& identifier) -> std::unique_ptr<QCPatch> { return std::make_unique<T>(identifier); },
        T::executionMode(),
        T::allowsSubpatches(),
        &T::timeModeWithIdentifier,
        portsFollowSource,
    };
}
