#include "tools/tembra/editor/ClassSchemaStandIn.h"

#include "tools/tembra/editor/PortValueJSON.h"

namespace {

nlohmann::ordered_json describe(const QCPatchClass& c, const char* bundle) {
    nlohmann::ordered_json ports = nlohmann::ordered_json::array();
    const auto patch = c.create("schema");
    for (const QCPort* port : patch->ports()) {
        nlohmann::ordered_json p = {{"name", port->name()},
                                    {"direction", port->isInput() ? "input" : "output"},
                                    {"kind", portKindName(port->kind())},
                                    {"default", portValueJSON(*port)},
                                    {"description", port->info().description}};
        if (port->kind() == QCPortKind::Index) {
            const auto max = static_cast<const QCIndexPort*>(port)->maxIndexValue();
            if (max != UINT32_MAX) p["maxIndex"] = max;
        }
        if (port->info().hasRange()) p["range"] = {port->info().min, port->info().max};
        if (*port->info().unit) p["unit"] = port->info().unit;
        if (port->info().path != QCPathKind::None) p["path"] = pathKindName(port->info().path);
        ports.push_back(std::move(p));
    }
    return {{"name", c.name},
            {"bundle", bundle},
            {"description", c.description},
            {"executionMode", c.executionMode},
            {"timeMode", c.timeModeWithIdentifier ? c.timeModeWithIdentifier(c.name) : 0},
            {"ports", std::move(ports)}};
}

}  // namespace

nlohmann::ordered_json classSchema(const QCNodeManager& manager) {
    nlohmann::ordered_json classes = nlohmann::ordered_json::array();
    for (const QCPatchClass& c : manager.bundleClasses()) classes.push_back(describe(c, "Tembra"));
    for (const QCPatchClass& c : manager.hostClasses()) classes.push_back(describe(c, "host"));
    return {{"classes", std::move(classes)}};
}
