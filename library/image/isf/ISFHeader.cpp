#include "library/image/isf/ISFHeader.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

namespace {

using nlohmann::json;

// A mistake in the header, at an offset into the source.
struct HeaderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int lineAt(const std::string& text, size_t offset) {
    offset = std::min(offset, text.size());
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

bool isIdentifier(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
    if (name.rfind("gl_", 0) == 0) return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

ISFInput::Type typeNamed(const std::string& type, const std::string& input) {
    static const std::pair<const char*, ISFInput::Type> types[] = {
        {"event", ISFInput::Type::Event}, {"bool", ISFInput::Type::Bool},
        {"long", ISFInput::Type::Long}, {"float", ISFInput::Type::Float},
        {"point2D", ISFInput::Type::Point2D}, {"color", ISFInput::Type::Color},
        {"image", ISFInput::Type::Image}, {"audio", ISFInput::Type::Audio},
        {"audioFFT", ISFInput::Type::AudioFFT},
    };
    for (const auto& [name, value] : types)
        if (type == name) return value;
    throw HeaderError("input \"" + input + "\" has the unknown TYPE \"" + type +
                      "\" (event, bool, long, float, point2D, color, image, audio or audioFFT)");
}

// A number or an array of `count` numbers (a bool counts as 0 or 1).
std::vector<double> numbers(const json& value, size_t count, const std::string& what) {
    const auto one = [&](const json& v) -> double {
        if (v.is_boolean()) return v.get<bool>() ? 1.0 : 0.0;
        if (!v.is_number()) throw HeaderError(what + " must be a number");
        return v.get<double>();
    };
    std::vector<double> result;
    if (count == 1 && !value.is_array()) return {one(value)};
    if (!value.is_array() || value.size() != count)
        throw HeaderError(what + " must be an array of " + std::to_string(count) + " numbers");
    for (const json& v : value) result.push_back(one(v));
    return result;
}

std::string text(const json& object, const char* key, const std::string& what) {
    if (!object.contains(key)) return "";
    const json& value = object[key];
    if (value.is_number()) return value.dump();  // WIDTH: 256
    if (!value.is_string()) throw HeaderError(what + " " + key + " must be a string");
    return value.get<std::string>();
}

ISFInput input(const json& entry, size_t index) {
    if (!entry.is_object()) throw HeaderError("INPUTS entry " + std::to_string(index + 1) + " is not an object");
    ISFInput in;
    if (!entry.contains("NAME") || !entry["NAME"].is_string())
        throw HeaderError("INPUTS entry " + std::to_string(index + 1) + " has no NAME");
    in.name = entry["NAME"].get<std::string>();
    if (!isIdentifier(in.name)) throw HeaderError("input NAME \"" + in.name + "\" is not a GLSL identifier");
    if (!entry.contains("TYPE") || !entry["TYPE"].is_string()) throw HeaderError("input \"" + in.name + "\" has no TYPE");
    in.type = typeNamed(entry["TYPE"].get<std::string>(), in.name);
    in.label = text(entry, "LABEL", "input \"" + in.name + "\"");
    const size_t count = in.type == ISFInput::Type::Point2D ? 2 : in.type == ISFInput::Type::Color ? 4 : 1;
    const std::string what = "input \"" + in.name + "\"";
    switch (in.type) {
    case ISFInput::Type::Color:
        in.defaults = {0, 0, 0, 1};
        in.minimum = {0, 0, 0, 0};
        in.maximum = {1, 1, 1, 1};
        break;
    case ISFInput::Type::Point2D:
        in.defaults = {0, 0};
        in.minimum = {-1e9, -1e9};
        in.maximum = {1e9, 1e9};
        break;
    case ISFInput::Type::Float:
        in.defaults = {0.5};
        in.minimum = {0};
        in.maximum = {1};
        break;
    default:
        in.defaults = {0};
        in.minimum = {0};
        in.maximum = {1};
        break;
    }
    if (!in.isImage()) {
        if (entry.contains("DEFAULT")) in.defaults = numbers(entry["DEFAULT"], count, what + " DEFAULT");
        if (entry.contains("MIN")) in.minimum = numbers(entry["MIN"], count, what + " MIN");
        if (entry.contains("MAX")) in.maximum = numbers(entry["MAX"], count, what + " MAX");
        for (size_t i = 0; i < count; ++i)
            if (in.minimum[i] > in.maximum[i]) throw HeaderError(what + " has MIN above MAX");
    }
    if (in.type == ISFInput::Type::Long) {
        if (entry.contains("VALUES")) {
            if (!entry["VALUES"].is_array() || entry["VALUES"].empty())
                throw HeaderError(what + " VALUES must be an array of integers");
            for (const json& v : entry["VALUES"]) {
                if (!v.is_number()) throw HeaderError(what + " VALUES must be an array of integers");
                in.values.push_back(v.get<int>());
            }
        } else {
            // Without VALUES, MIN to MAX are the choices.
            const double low = std::ceil(in.minimum[0]), high = std::floor(in.maximum[0]);
            if (!(std::abs(low) <= 1e6 && std::abs(high) <= 1e6) || high < low)
                throw HeaderError(what + " needs VALUES, or a MIN no greater than its MAX, both within a million");
            if (high - low >= 4096) throw HeaderError(what + " spans more than 4096 values");
            for (double v = low; v <= high; ++v) in.values.push_back(static_cast<int>(v));
        }
        if (entry.contains("LABELS") && entry["LABELS"].is_array())
            for (const json& l : entry["LABELS"]) in.labels.push_back(l.is_string() ? l.get<std::string>() : l.dump());
    }
    return in;
}

ISFPass pass(const json& entry, size_t index) {
    const std::string what = "pass " + std::to_string(index + 1);
    if (!entry.is_object()) throw HeaderError(what + " is not an object");
    ISFPass p;
    p.target = text(entry, "TARGET", what);
    if (!p.target.empty() && !isIdentifier(p.target))
        throw HeaderError(what + " TARGET \"" + p.target + "\" is not a GLSL identifier");
    const auto flag = [&](const char* key) {
        if (!entry.contains(key)) return false;
        const json& v = entry[key];
        if (v.is_boolean()) return v.get<bool>();
        if (v.is_number()) return v.get<double>() != 0;
        if (v.is_string()) return v.get<std::string>() == "true" || v.get<std::string>() == "1";
        throw HeaderError(what + " " + key + " must be true or false");
    };
    p.persistent = flag("PERSISTENT") || flag("PERSISTENT_BUFFERS");
    p.isFloat = flag("FLOAT");
    p.width = text(entry, "WIDTH", what);
    p.height = text(entry, "HEIGHT", what);
    return p;
}

void readHeader(const json& header, ISFHeader& result) {
    if (!header.is_object()) throw HeaderError("the header is not a JSON object");
    result.description = text(header, "DESCRIPTION", "the header's");
    result.credit = text(header, "CREDIT", "the header's");
    if (header.contains("CATEGORIES") && header["CATEGORIES"].is_array())
        for (const json& c : header["CATEGORIES"])
            if (c.is_string()) result.categories.push_back(c.get<std::string>());
    if (header.contains("INPUTS")) {
        if (!header["INPUTS"].is_array()) throw HeaderError("INPUTS must be an array");
        for (size_t i = 0; i < header["INPUTS"].size(); ++i) {
            ISFInput in = input(header["INPUTS"][i], i);
            for (const ISFInput& other : result.inputs)
                if (other.name == in.name) throw HeaderError("two inputs are named \"" + in.name + "\"");
            result.inputs.push_back(std::move(in));
        }
    }
    if (header.contains("PASSES")) {
        if (!header["PASSES"].is_array()) throw HeaderError("PASSES must be an array");
        for (size_t i = 0; i < header["PASSES"].size(); ++i) result.passes.push_back(pass(header["PASSES"][i], i));
    }
    if (result.passes.empty()) result.passes.emplace_back();
    if (header.contains("IMPORTED")) {
        const json& imported = header["IMPORTED"];
        const auto add = [&](const std::string& name, const json& entry) {
            if (!isIdentifier(name)) throw HeaderError("IMPORTED name \"" + name + "\" is not a GLSL identifier");
            if (!entry.is_object() || !entry.contains("PATH") || !entry["PATH"].is_string())
                throw HeaderError("IMPORTED \"" + name + "\" has no PATH");
            result.imported.push_back({name, entry["PATH"].get<std::string>()});
        };
        if (imported.is_object()) {
            for (const auto& [name, entry] : imported.items()) add(name, entry);
        } else if (imported.is_array()) {
            for (const json& entry : imported) add(entry.value("NAME", std::string()), entry);
        } else {
            throw HeaderError("IMPORTED must be an object");
        }
    }
}

}  // namespace

bool ISFHeader::isFilter() const {
    return std::any_of(inputs.begin(), inputs.end(),
                       [](const ISFInput& in) { return in.name == "inputImage" && in.type == ISFInput::Type::Image; });
}

std::unique_ptr<ISFHeader> ISFHeader::parse(const std::string& source, std::string* error) {
    const size_t open = source.find("/*");
    // Only white space may stand before the header.
    if (open == std::string::npos ||
        !std::all_of(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(open),
                     [](char c) { return std::isspace(static_cast<unsigned char>(c)); })) {
        if (error) *error = "1: no JSON header: the file must begin with a /* { ... } */ comment";
        return nullptr;
    }
    const size_t close = source.find("*/", open + 2);
    if (close == std::string::npos) {
        if (error) *error = std::to_string(lineAt(source, open)) + ": the header comment is never closed";
        return nullptr;
    }
    const std::string body = source.substr(open + 2, close - open - 2);
    auto result = std::make_unique<ISFHeader>();
    try {
        readHeader(json::parse(body), *result);
    } catch (const json::parse_error& e) {
        std::string what = e.what();
        // "[json.exception.parse_error.101] parse error at line 3, column 5: ..." -> the reason
        const size_t colon = what.find(": ");
        if (colon != std::string::npos) what = what.substr(colon + 2);
        const size_t offset = open + 2 + (e.byte > 0 ? e.byte - 1 : 0);
        if (error) *error = std::to_string(lineAt(source, offset)) + ": the header is not JSON: " + what;
        return nullptr;
    } catch (const std::exception& e) {
        if (error) *error = std::to_string(lineAt(source, open)) + ": " + e.what();
        return nullptr;
    }
    return result;
}
