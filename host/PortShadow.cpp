#include "PortShadow.h"

namespace {

std::unique_ptr<QCPort> copyOf(const QCPort& port, QCPatch* owner) {
    const std::string& name = port.name();
    switch (port.kind()) {
    case QCPortKind::String: {
        auto copy = std::make_unique<QCStringPort>(owner, name, port.info());
        copy->setStringValue(static_cast<const QCStringPort&>(port).stringValue());
        return copy;
    }
    case QCPortKind::Index: {
        const auto& index = static_cast<const QCIndexPort&>(port);
        auto copy = std::make_unique<QCIndexPort>(owner, name, port.info());
        copy->setMaxIndexValue(index.maxIndexValue());
        copy->setIndexValue(index.indexValue());
        return copy;
    }
    case QCPortKind::Number: {
        auto copy = std::make_unique<QCNumberPort>(owner, name, port.info());
        copy->setDoubleValue(static_cast<const QCNumberPort&>(port).doubleValue());
        return copy;
    }
    case QCPortKind::Boolean: {
        auto copy = std::make_unique<QCBooleanPort>(owner, name, port.info());
        copy->setBooleanValue(static_cast<const QCBooleanPort&>(port).booleanValue());
        return copy;
    }
    case QCPortKind::Image: {
        auto copy = std::make_unique<QCGLImagePort>(owner, name, port.info());
        copy->setImageValue(static_cast<const QCGLImagePort&>(port).imageValue());
        return copy;
    }
    case QCPortKind::RGBA: {
        auto copy = std::make_unique<QCColorPort>(owner, name, port.info());
        copy->setColorValue(static_cast<const QCColorPort&>(port).colorValue());
        return copy;
    }
    case QCPortKind::Color: return std::make_unique<QCGLPort_Color>(owner, name, port.info());
    case QCPortKind::Blending: return std::make_unique<QCGLPort_Blending>(owner, name, port.info());
    case QCPortKind::ZBuffer: return std::make_unique<QCGLPort_ZBuffer>(owner, name, port.info());
    case QCPortKind::Culling: return std::make_unique<QCGLPort_Culling>(owner, name, port.info());
    }
    return nullptr;
}

}  // namespace

PortShadow::PortShadow(const QCPatch& patch) : QCPatch(patch.identifier()) {
    ports_.reserve(patch.ports().size());
    for (const QCPort* port : patch.ports()) {
        ports_.push_back(copyOf(*port, this));
        // An input by the patch's word rather than by its name (an expression's variable) stays one.
        if (port->isInput() && !ports_.back()->isInput()) ports_.back()->makeInput();
    }
}

PortShadow::PortShadow(const QCPatch& patch, const PortShadow& before) : QCPatch(patch.identifier()) {
    ports_.reserve(patch.ports().size());
    for (const QCPort* port : patch.ports()) {
        const QCPort* was = before.portNamed(port->name());
        ports_.push_back(copyOf(was && was->kind() == port->kind() ? *was : *port, this));
        // An input by the patch's word rather than by its name (an expression's variable) stays one.
        if (port->isInput() && !ports_.back()->isInput()) ports_.back()->makeInput();
    }
}
