#include "QCPatch.h"

#include <nlohmann/json.hpp>

QCPatch::QCPatch(std::string identifier) : identifier_(std::move(identifier)) {}

QCPort* QCPatch::portNamed(const std::string& name) const {
    for (QCPort* port : ports_)
        if (port->name() == name) return port;
    return nullptr;
}

bool QCPatch::applySetting(const std::string& key, const nlohmann::json&, std::string* error) {
    if (error) *error = "takes no setting \"" + key + "\"";
    return false;
}
