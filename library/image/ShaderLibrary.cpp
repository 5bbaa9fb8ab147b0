#include "ShaderLibrary.h"

#include "Shader.h"
#include "host/QCNodeManager.h"
#include "host/QCPatchClass.h"
#include "library/image/isf/ISFHeader.h"
#include "platform/foundation/NSLog.h"

#include <dlfcn.h>

#include <fstream>
#include <sstream>

namespace {

// The classes in the order a performer meets them.
constexpr const char* kShippedShaders[] = {"Blend", "ColorMap", "ColorControls", "Blur", "Transform", "Feedback"};

}  // namespace

std::filesystem::path ShaderLibrary::folder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ShaderLibrary::folder), &info) || !info.dli_fname) return {};
    std::error_code error;
    const auto bundle = std::filesystem::weakly_canonical(info.dli_fname, error);
    // <prefix>/lib/tembra/bundles/libTembraLibrary.so -> <prefix>/share/tembra/shaders
    return bundle.parent_path().parent_path().parent_path().parent_path() / "share" / "tembra" / "shaders";
}

void ShaderLibrary::registerNodesWithManager(QCNodeManager& manager) {
    const std::filesystem::path shaders = folder();
    for (const char* name : kShippedShaders) {
        const std::filesystem::path file = shaders / (std::string(name) + ".fs");
        std::ifstream in(file);
        std::ostringstream text;
        text << in.rdbuf();
        std::string error;
        const auto header = in ? ISFHeader::parse(text.str(), &error) : nullptr;
        if (!header) {
            NSLog("Shader library: %s: %s", file.string().c_str(), in ? error.c_str() : "cannot be read");
            continue;
        }
        manager.registerNodeWithClass(QCPatchClass{
            name,
            header->description,
            [file](const std::string& identifier) -> std::unique_ptr<QCPatch> {
                return std::make_unique<Shader>(identifier, file);
            },
            Shader::executionMode(),
            Shader::allowsSubpatches(),
            &Shader::timeModeWithIdentifier,
            // A shipped file's inputs are fixed: a document's typo in one
            // is an error, as for any class.
            false,
        });
    }
}
