#pragma once

#include <filesystem>

class QCNodeManager;

// The image patches that are ISF files (Blend, ColorMap, ...): each .fs file
// in the library's shader folder is registered as a class of its own name,
// described by its header.
class ShaderLibrary {
public:
    // share/tembra/shaders beside the folder the bundle was loaded from.
    static std::filesystem::path folder();
    static void registerNodesWithManager(QCNodeManager& manager);
};
