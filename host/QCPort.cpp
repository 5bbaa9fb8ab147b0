#include "QCPort.h"

#include "QCPatch.h"

#include <algorithm>
#include <cmath>

const char* portKindName(QCPortKind kind) {
    switch (kind) {
    case QCPortKind::String: return "string";
    case QCPortKind::Index: return "index";
    case QCPortKind::Number: return "number";
    case QCPortKind::Boolean: return "boolean";
    case QCPortKind::Image: return "image";
    case QCPortKind::RGBA: return "rgba";
    case QCPortKind::Color: return "color";
    case QCPortKind::Blending: return "blending";
    case QCPortKind::ZBuffer: return "zbuffer";
    case QCPortKind::Culling: return "culling";
    }
    return "?";
}

const char* pathKindName(QCPathKind kind) {
    switch (kind) {
    case QCPathKind::None: return "";
    case QCPathKind::File: return "file";
    case QCPathKind::Folder: return "folder";
    case QCPathKind::URL: return "url";
    case QCPathKind::FileOrURL: return "file or url";
    }
    return "";
}

QCPort::QCPort(QCPatch* owner, std::string name, QCPortKind kind, QCPortInfo info)
    : owner_(owner), name_(std::move(name)), kind_(kind), info_(info), input_(name_.rfind("input", 0) == 0) {
    owner->registerPort(this);
}

QCPort::~QCPort() { owner_->unregisterPort(this); }

QCStringPort::QCStringPort(QCPatch* owner, std::string name, QCPortInfo info)
    : QCPort(owner, std::move(name), QCPortKind::String, info), value_(newString("")) {}

void QCStringPort::setStringValue(StringRef value) {
    if (value == value_) return;
    value_ = std::move(value);
    changed();
}

QCIndexPort::QCIndexPort(QCPatch* owner, std::string name, QCPortInfo info)
    : QCPort(owner, std::move(name), QCPortKind::Index, info) {}

void QCIndexPort::setIndexValue(uint32_t value) {
    if (value == value_) return;
    value_ = value;
    changed();
}

void QCIndexPort::setMaxIndexValue(uint32_t max) { max_ = max; }

void QCIndexPort::setIndexValueFromHost(int64_t value) {
    setIndexValue(static_cast<uint32_t>(std::clamp<int64_t>(value, 0, max_)));
}

QCNumberPort::QCNumberPort(QCPatch* owner, std::string name, QCPortInfo info)
    : QCPort(owner, std::move(name), QCPortKind::Number, info) {}

void QCNumberPort::setDoubleValue(double value) {
    // NaN never equals itself, yet a NaN held still is no change.
    if (value == value_ || (std::isnan(value) && std::isnan(value_))) return;
    value_ = value;
    changed();
}

QCBooleanPort::QCBooleanPort(QCPatch* owner, std::string name, QCPortInfo info)
    : QCPort(owner, std::move(name), QCPortKind::Boolean, info) {}

void QCBooleanPort::setBooleanValue(bool value) {
    if (value == value_) return;
    value_ = value;
    changed();
}

QCGLImagePort::QCGLImagePort(QCPatch* owner, std::string name, QCPortInfo info)
    : QCPort(owner, std::move(name), QCPortKind::Image, info) {}

void QCGLImagePort::setImageValue(ImageRef value) {
    if (value == value_) return;
    value_ = std::move(value);
    changed();
}

QCColorPort::QCColorPort(QCPatch* owner, std::string name, QCPortInfo info)
    : QCPort(owner, std::move(name), QCPortKind::RGBA, info) {}

void QCColorPort::setColorValue(QCColor value) {
    for (double* c : {&value.red, &value.green, &value.blue, &value.alpha})
        if (!std::isfinite(*c)) *c = 0;
    if (value == value_) return;
    value_ = value;
    changed();
}
