#include "QCPatch.h"

#include <nlohmann/json.hpp>

#include <algorithm>

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

void QCPatch::registerPort(QCPort* port) {
    ports_.push_back(port);
    ++portsRevision_;
}

void QCPatch::unregisterPort(QCPort* port) {
    const auto at = std::find(ports_.begin(), ports_.end(), port);
    if (at == ports_.end()) return;
    ports_.erase(at);
    ++portsRevision_;
}
