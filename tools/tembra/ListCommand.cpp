#include "ListCommand.h"

#include "ClassSchema.h"
#include "host/PortValues.h"

#include <optional>
#include <string>

namespace {

const char* modeName(int mode) {
    switch (mode) {
    case 1: return "consumer";
    case 2: return "provider";
    case 3: return "processor";
    default: return "unknown";
    }
}

void listOne(const QCPatchClass& c, std::ostream& out) {
    out << c.name << "  (execution mode " << c.executionMode << " " << modeName(c.executionMode)
        << ", time mode " << (c.timeModeWithIdentifier ? c.timeModeWithIdentifier(c.name) : 0)
        << (c.allowsSubpatches ? ", subpatches" : "") << ")";
    if (!c.description.empty()) out << "  " << c.description;
    out << "\n";
    // A fresh instance shows the ports and the defaults its constructor sets.
    const auto patch = c.create("list");
    for (const QCPort* port : patch->ports()) {
        const QCPortInfo& info = port->info();
        out << "    " << (port->isInput() ? "in  " : "out ") << port->name() << " : " << portKindName(port->kind())
            << " = " << describePortValue(*port);
        if (port->kind() == QCPortKind::Index) {
            const auto max = static_cast<const QCIndexPort*>(port)->maxIndexValue();
            if (max != UINT32_MAX) out << " (max " << max << ")";
        }
        if (info.hasRange()) out << " [" << info.min << " .. " << info.max << "]";
        if (info.unit && *info.unit) out << " " << info.unit;
        if (info.path != QCPathKind::None) out << " (" << pathKindName(info.path) << ")";
        if (info.description && *info.description) out << "  " << info.description;
        out << "\n";
    }
}

}  // namespace

void listClasses(const QCNodeManager& manager, std::ostream& out) {
    // One heading per bundle, in the order the bundles were loaded.
    std::optional<std::string> heading;
    for (const QCPatchClass& c : manager.bundleClasses()) {
        const std::string path = manager.bundlePathOf(c.name);
        if (heading != path) {
            heading = path;
            if (path.empty()) out << "Bundle patches:\n";
            else out << QCNodeManager::bundleName(path) << " patches (" << path << "):\n";
        }
        listOne(c, out);
    }
    if (!manager.hostClasses().empty()) {
        out << "Host patches:\n";
        for (const QCPatchClass& c : manager.hostClasses()) listOne(c, out);
    }
}

void listClassesAsJSON(const QCNodeManager& manager, std::ostream& out) {
    out << classSchema(manager).dump(2) << "\n";
}
