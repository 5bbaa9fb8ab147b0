#include "ClassSchema.h"

#include "host/ColorValue.h"
#include "host/PortValues.h"

namespace {

const char* directionOf(const QCPort& port) { return port.isInput() ? "input" : "output"; }

// The default as a JSON value of the port's own kind: what a fresh
// instance's constructor set.
nlohmann::ordered_json defaultOf(const QCPort& port) {
    switch (port.kind()) {
    case QCPortKind::String: {
        const StringRef& s = static_cast<const QCStringPort&>(port).stringValue();
        if (!s) return nullptr;
        // Text that is not UTF-8 still makes a valid document.
        return nlohmann::ordered_json::parse(
            nlohmann::json(*s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
    case QCPortKind::Index: return static_cast<const QCIndexPort&>(port).indexValue();
    case QCPortKind::Number: return static_cast<const QCNumberPort&>(port).doubleValue();
    case QCPortKind::Boolean: return static_cast<const QCBooleanPort&>(port).booleanValue();
    case QCPortKind::RGBA: return colorJSON(static_cast<const QCColorPort&>(port).colorValue());
    default: return nullptr;
    }
}

}  // namespace

nlohmann::ordered_json portSchema(const QCPort& port) {
    const QCPortInfo& info = port.info();
    nlohmann::ordered_json p;
    p["name"] = port.name();
    p["direction"] = directionOf(port);
    p["kind"] = portKindName(port.kind());
    p["default"] = defaultOf(port);
    if (port.kind() == QCPortKind::Index) {
        const uint32_t max = static_cast<const QCIndexPort&>(port).maxIndexValue();
        p["max"] = max == UINT32_MAX ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(max);
    }
    if (info.hasRange()) p["range"] = {{"min", info.min}, {"max", info.max}};
    p["unit"] = info.unit ? info.unit : "";
    p["description"] = info.description ? info.description : "";
    p["path"] = info.path == QCPathKind::None ? nlohmann::ordered_json(nullptr) : pathKindName(info.path);
    return p;
}

nlohmann::ordered_json classSchemaOf(const QCPatchClass& c, const std::string& bundle) {
    nlohmann::ordered_json j;
    j["name"] = c.name;
    j["bundle"] = bundle;
    j["description"] = c.description;
    j["executionMode"] = c.executionMode;
    j["timeMode"] = c.timeModeWithIdentifier ? c.timeModeWithIdentifier(c.name) : 0;
    j["allowsSubpatches"] = c.allowsSubpatches;
    // A fresh instance shows the ports and the defaults its constructor sets.
    nlohmann::ordered_json ports = nlohmann::ordered_json::array();
    const auto patch = c.create("list");
    for (const QCPort* port : patch->ports()) ports.push_back(portSchema(*port));
    j["ports"] = std::move(ports);
    return j;
}

nlohmann::ordered_json classSchema(const QCNodeManager& manager) {
    nlohmann::ordered_json bundles = nlohmann::ordered_json::array();
    // One entry per bundle, in the order the bundles were loaded; classes the
    // host registers itself come last as "host".
    const auto bundleNamed = [&](const std::string& name, const std::string& path) -> nlohmann::ordered_json& {
        if (bundles.empty() || bundles.back()["name"] != name)
            bundles.push_back({{"name", name}, {"path", path}, {"classes", nlohmann::ordered_json::array()}});
        return bundles.back()["classes"];
    };
    for (const QCPatchClass& c : manager.bundleClasses()) {
        const std::string name = manager.bundleNameOf(c.name);
        bundleNamed(name, manager.bundlePathOf(c.name)).push_back(classSchemaOf(c, name));
    }
    for (const QCPatchClass& c : manager.hostClasses()) bundleNamed("host", "").push_back(classSchemaOf(c, "host"));
    return {{"bundles", std::move(bundles)}};
}
