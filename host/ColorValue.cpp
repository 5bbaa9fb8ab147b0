#include "ColorValue.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

std::optional<QCColor> fromComponents(const std::vector<double>& c) {
    if (c.size() != 3 && c.size() != 4) return std::nullopt;
    for (double v : c)
        if (!std::isfinite(v)) return std::nullopt;
    return QCColor{c[0], c[1], c[2], c.size() == 4 ? c[3] : 1.0};
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<QCColor> fromHex(const std::string& text) {
    if (text.empty() || text[0] != '#' || (text.size() != 7 && text.size() != 9)) return std::nullopt;
    std::vector<double> c;
    for (size_t i = 1; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        c.push_back((high * 16 + low) / 255.0);
    }
    return fromComponents(c);
}

}  // namespace

std::optional<QCColor> colorFromJSON(const nlohmann::ordered_json& value) {
    if (value.is_string()) return fromHex(value.get<std::string>());
    if (!value.is_array()) return std::nullopt;
    std::vector<double> c;
    for (const auto& item : value) {
        if (!item.is_number()) return std::nullopt;
        c.push_back(item.get<double>());
    }
    return fromComponents(c);
}

std::optional<QCColor> colorFromText(const std::string& text) {
    if (!text.empty() && text[0] == '#') return fromHex(text);
    std::vector<double> c;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string part = text.substr(start, comma - start);
        char* end = nullptr;
        errno = 0;
        const double v = std::strtod(part.c_str(), &end);
        if (part.empty() || *end != '\0' || errno == ERANGE) return std::nullopt;
        c.push_back(v);
        start = comma + 1;
    }
    return fromComponents(c);
}

double colorLuminance(const QCColor& color) {
    return 0.2126 * color.red + 0.7152 * color.green + 0.0722 * color.blue;
}
