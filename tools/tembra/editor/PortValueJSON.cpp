#include "tools/tembra/editor/PortValueJSON.h"

#include "host/ColorValue.h"
#include "host/QCGLCGImage.h"

#include <cmath>

nlohmann::ordered_json portValueJSON(const QCPort& port) {
    switch (port.kind()) {
    case QCPortKind::String: {
        const StringRef& value = static_cast<const QCStringPort&>(port).stringValue();
        return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json();
    }
    case QCPortKind::Index: return static_cast<const QCIndexPort&>(port).indexValue();
    case QCPortKind::Number: {
        const double value = static_cast<const QCNumberPort&>(port).doubleValue();
        // JSON has no NaN or infinity.
        return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json();
    }
    case QCPortKind::Boolean: return static_cast<const QCBooleanPort&>(port).booleanValue();
    case QCPortKind::RGBA: return colorJSON(static_cast<const QCColorPort&>(port).colorValue());
    case QCPortKind::Image: {
        const ImageRef& image = static_cast<const QCGLImagePort&>(port).imageValue();
        if (!image) return nullptr;
        return "image " + std::to_string(image->pixelsWide()) + "x" + std::to_string(image->pixelsHigh());
    }
    default: return nullptr;
    }
}
