#include "PortValues.h"

#include "ColorValue.h"
#include "LocatedJSON.h"
#include "QCGLCGImage.h"
#include "platform/graphics/PNGFile.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

bool isScalar(QCPortKind kind) {
    return kind == QCPortKind::Index || kind == QCPortKind::Number || kind == QCPortKind::Boolean ||
           kind == QCPortKind::String;
}

std::string formatNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    // Prefer the shortest form that reads back the same.
    for (int precision = 1; precision <= 17; ++precision) {
        char shorter[64];
        std::snprintf(shorter, sizeof shorter, "%.*g", precision, value);
        if (std::strtod(shorter, nullptr) == value) return shorter;
    }
    return text;
}

// Text -> number; nothing when the text is not entirely a number.
bool parseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && errno != ERANGE;
}

bool parseBoolean(const std::string& text, bool& value) {
    if (text == "true" || text == "yes" || text == "1") return value = true, true;
    if (text == "false" || text == "no" || text == "0") return value = false, true;
    return false;
}

double numberOf(const QCPort& port) {
    switch (port.kind()) {
    case QCPortKind::Index: return static_cast<const QCIndexPort&>(port).indexValue();
    case QCPortKind::Number: return static_cast<const QCNumberPort&>(port).doubleValue();
    case QCPortKind::Boolean: return static_cast<const QCBooleanPort&>(port).booleanValue() ? 1.0 : 0.0;
    case QCPortKind::String: {
        const StringRef& s = static_cast<const QCStringPort&>(port).stringValue();
        double value = 0;
        return s && parseNumber(*s, value) ? value : 0.0;
    }
    case QCPortKind::RGBA: return colorLuminance(static_cast<const QCColorPort&>(port).colorValue());
    default: return 0.0;
    }
}

std::string textOf(const QCPort& port) {
    switch (port.kind()) {
    case QCPortKind::Index: return std::to_string(static_cast<const QCIndexPort&>(port).indexValue());
    case QCPortKind::Number: return formatNumber(static_cast<const QCNumberPort&>(port).doubleValue());
    case QCPortKind::Boolean: return static_cast<const QCBooleanPort&>(port).booleanValue() ? "true" : "false";
    case QCPortKind::String: {
        const StringRef& s = static_cast<const QCStringPort&>(port).stringValue();
        return s ? *s : std::string();
    }
    default: return {};
    }
}

void setNumber(QCPort& port, double value) {
    switch (port.kind()) {
    case QCPortKind::Index:
        static_cast<QCIndexPort&>(port).setIndexValueFromHost(
            std::isnan(value) ? 0 : static_cast<int64_t>(std::clamp(value, -1.0, 4294967296.0)));
        break;
    case QCPortKind::Number: static_cast<QCNumberPort&>(port).setDoubleValue(value); break;
    case QCPortKind::Boolean: static_cast<QCBooleanPort&>(port).setBooleanValue(value != 0.0); break;
    case QCPortKind::String: static_cast<QCStringPort&>(port).setStringValue(newString(formatNumber(value))); break;
    case QCPortKind::RGBA: static_cast<QCColorPort&>(port).setColorValue(greyColor(value)); break;
    default: break;
    }
}

ImageRef loadImage(const std::string& path, const std::string& directory) {
    std::filesystem::path file(path);
    if (file.is_relative() && !directory.empty()) file = std::filesystem::path(directory) / file;
    std::string error;
    CGImageRef image = CGImageCreateWithPNGFile(file.string(), &error);
    if (!image) {
        // The message starts with the path: a long or many-line one is shown cut short and quoted.
        const std::string& shown = file.string();
        const bool plain = shown.size() <= 200 && std::none_of(shown.begin(), shown.end(), [](char c) {
                               return static_cast<unsigned char>(c) < 0x20;
                           });
        if (!plain && error.rfind(shown, 0) == 0) error = quotedShort(shown) + error.substr(shown.size());
        throw PortValueError(error);
    }
    return std::make_shared<const QCGLCGImage>(std::move(image), nullptr);
}

// Absolute paths, URLs (file:..., http://...) and empty text stand as they are.
bool isRelativePath(const std::string& text) {
    if (text.empty() || text.front() == '/' || text.rfind("file:", 0) == 0) return false;
    const size_t scheme = text.find("://");
    return scheme == std::string::npos || scheme == 0 ||
           !std::all_of(text.begin(), text.begin() + scheme, [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
           });
}

[[noreturn]] void wrongType(const QCPort& port, const std::string& got) {
    const std::string expected = port.kind() == QCPortKind::Image   ? std::string("a PNG file path")
                                 : port.kind() == QCPortKind::Index ? std::string("an index")
                                                                    : std::string("a ") + portKindName(port.kind());
    throw PortValueError("port " + port.name() + " takes " + expected + " value, not " + got);
}

}  // namespace

double portNumber(const QCPort& port) { return numberOf(port); }

void setPortNumber(QCPort& port, double value) { setNumber(port, value); }

std::string resolveDocumentPath(const QCPort& port, const std::string& text, const std::string& directory) {
    const QCPathKind kind = port.info().path;
    if (kind != QCPathKind::File && kind != QCPathKind::Folder && kind != QCPathKind::FileOrURL) return text;
    if (directory.empty() || !isRelativePath(text)) return text;
    return (std::filesystem::path(directory) / text).string();
}

bool canConnect(QCPortKind from, QCPortKind to) {
    if (from == to) return true;
    // A number into a colour is a grey; a colour into a number its luminance.
    const bool numeric = from == QCPortKind::Index || from == QCPortKind::Number || from == QCPortKind::Boolean;
    if (to == QCPortKind::RGBA) return numeric;
    if (from == QCPortKind::RGBA) return to == QCPortKind::Number;
    return isScalar(from) && isScalar(to);
}

void transferValue(const QCPort& from, QCPort& to) {
    if (from.kind() == QCPortKind::String && to.kind() == QCPortKind::String) {
        static_cast<QCStringPort&>(to).setStringValue(static_cast<const QCStringPort&>(from).stringValue());
    } else if (from.kind() == QCPortKind::Image && to.kind() == QCPortKind::Image) {
        static_cast<QCGLImagePort&>(to).setImageValue(static_cast<const QCGLImagePort&>(from).imageValue());
    } else if (from.kind() == QCPortKind::RGBA && to.kind() == QCPortKind::RGBA) {
        static_cast<QCColorPort&>(to).setColorValue(static_cast<const QCColorPort&>(from).colorValue());
    } else if (from.kind() == QCPortKind::RGBA || to.kind() == QCPortKind::RGBA) {
        setNumber(to, numberOf(from));
    } else if (from.kind() == QCPortKind::Index && to.kind() == QCPortKind::Index) {
        static_cast<QCIndexPort&>(to).setIndexValueFromHost(static_cast<const QCIndexPort&>(from).indexValue());
    } else if (to.kind() == QCPortKind::String) {
        static_cast<QCStringPort&>(to).setStringValue(newString(textOf(from)));
    } else if (to.kind() == QCPortKind::Boolean && from.kind() == QCPortKind::String) {
        bool value = false;
        const std::string text = textOf(from);
        static_cast<QCBooleanPort&>(to).setBooleanValue(parseBoolean(text, value) ? value : numberOf(from) != 0.0);
    } else if (isScalar(from.kind()) && isScalar(to.kind())) {
        setNumber(to, numberOf(from));
    }
}

void setPortFromJSON(QCPort& port, const nlohmann::ordered_json& value, const std::string& directory) {
    switch (port.kind()) {
    case QCPortKind::String:
        if (value.is_null()) return static_cast<QCStringPort&>(port).setStringValue(nullptr);
        if (!value.is_string()) wrongType(port, dumpShort(value));
        return static_cast<QCStringPort&>(port).setStringValue(
            newString(resolveDocumentPath(port, value.get<std::string>(), directory)));
    case QCPortKind::Index:
        if (!value.is_number_integer()) wrongType(port, dumpShort(value));
        return static_cast<QCIndexPort&>(port).setIndexValueFromHost(
            value.is_number_unsigned() ? static_cast<int64_t>(std::min<uint64_t>(value.get<uint64_t>(), INT64_MAX))
                                       : value.get<int64_t>());
    case QCPortKind::Number:
        if (!value.is_number()) wrongType(port, dumpShort(value));
        return static_cast<QCNumberPort&>(port).setDoubleValue(value.get<double>());
    case QCPortKind::Boolean:
        if (!value.is_boolean()) wrongType(port, dumpShort(value));
        return static_cast<QCBooleanPort&>(port).setBooleanValue(value.get<bool>());
    case QCPortKind::Image:
        if (value.is_null()) return static_cast<QCGLImagePort&>(port).setImageValue(nullptr);
        if (!value.is_string()) wrongType(port, dumpShort(value));
        return static_cast<QCGLImagePort&>(port).setImageValue(loadImage(value.get<std::string>(), directory));
    case QCPortKind::RGBA: {
        const auto color = colorFromJSON(value);
        if (!color) throw PortValueError("port " + port.name() + " takes " + colorFormats + ", not " + dumpShort(value));
        return static_cast<QCColorPort&>(port).setColorValue(*color);
    }
    default:
        throw PortValueError("port " + port.name() + " holds a host setting and takes no value");
    }
}

void setPortFromText(QCPort& port, const std::string& text, const std::string& directory) {
    double number = 0;
    bool boolean = false;
    switch (port.kind()) {
    case QCPortKind::String: return static_cast<QCStringPort&>(port).setStringValue(newString(text));
    case QCPortKind::Index:
        if (!parseNumber(text, number) || number != std::floor(number)) wrongType(port, quotedShort(text));
        return setNumber(port, number);
    case QCPortKind::Number:
        if (!parseNumber(text, number)) wrongType(port, quotedShort(text));
        return setNumber(port, number);
    case QCPortKind::Boolean:
        if (!parseBoolean(text, boolean)) wrongType(port, quotedShort(text));
        return static_cast<QCBooleanPort&>(port).setBooleanValue(boolean);
    case QCPortKind::Image:
        return static_cast<QCGLImagePort&>(port).setImageValue(loadImage(text, directory));
    case QCPortKind::RGBA: {
        const auto color = colorFromText(text);
        if (!color) throw PortValueError("port " + port.name() + " takes a colour as r,g,b,a or r,g,b or #rrggbb, not " +
                                         quotedShort(text));
        return static_cast<QCColorPort&>(port).setColorValue(*color);
    }
    default:
        throw PortValueError("port " + port.name() + " holds a host setting and takes no value");
    }
}

std::string describePortValue(const QCPort& port) {
    switch (port.kind()) {
    case QCPortKind::String: {
        const StringRef& s = static_cast<const QCStringPort&>(port).stringValue();
        return s ? nlohmann::json(*s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) : "null";
    }
    case QCPortKind::Image: {
        const ImageRef& image = static_cast<const QCGLImagePort&>(port).imageValue();
        return image ? "image " + std::to_string(image->pixelsWide()) + "x" + std::to_string(image->pixelsHigh())
                     : "null";
    }
    case QCPortKind::Index:
    case QCPortKind::Number:
    case QCPortKind::Boolean: return textOf(port);
    case QCPortKind::RGBA: {
        const QCColor& c = static_cast<const QCColorPort&>(port).colorValue();
        return "[" + formatNumber(c.red) + ", " + formatNumber(c.green) + ", " + formatNumber(c.blue) + ", " +
               formatNumber(c.alpha) + "]";
    }
    default: return "(host default)";
    }
}
