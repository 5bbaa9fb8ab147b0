#include "QCPatch.h"

QCPatch::QCPatch(std::string identifier) : identifier_(std::move(identifier)) {}

QCPort* QCPatch::portNamed(const std::string& name) const {
    for (QCPort* port : ports_)
        if (port->name() == name) return port;
    return nullptr;
}
