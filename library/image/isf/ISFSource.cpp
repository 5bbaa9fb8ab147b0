#include "library/image/isf/ISFSource.h"

#include <algorithm>
#include <regex>
#include <sstream>

namespace {

const char* glslType(ISFInput::Type type) {
    switch (type) {
    case ISFInput::Type::Event:
    case ISFInput::Type::Bool: return "bool";
    case ISFInput::Type::Long: return "int";
    case ISFInput::Type::Float: return "float";
    case ISFInput::Type::Point2D: return "vec2";
    case ISFInput::Type::Color: return "vec4";
    default: return "sampler2D";
    }
}

// Every image the shader can read: image inputs, pass targets, imported.
std::vector<std::string> imageNames(const ISFHeader& header) {
    std::vector<std::string> names;
    const auto add = [&](const std::string& name) {
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    };
    for (const ISFInput& in : header.inputs)
        if (in.isImage()) add(in.name);
    for (const ISFPass& pass : header.passes) add(pass.target);
    for (const ISFImported& imported : header.imported) add(imported.name);
    return names;
}

std::string declarations(const ISFHeader& header) {
    std::ostringstream out;
    out << "uniform int PASSINDEX;\nuniform vec2 RENDERSIZE;\nuniform float TIME;\nuniform float TIMEDELTA;\n"
           "uniform int FRAMEINDEX;\nuniform vec4 DATE;\nvarying vec2 isf_FragNormCoord;\n";
    for (const ISFInput& in : header.inputs)
        if (!in.isImage()) out << "uniform " << glslType(in.type) << ' ' << in.name << ";\n";
    // Images are 2D textures whose rows may run top down (uploaded) or
    // bottom up (rendered); the lookups hide which.
    for (const std::string& name : imageNames(header)) {
        out << "uniform sampler2D " << name << ";\nuniform vec2 _" << name << "_imgSize;\nuniform bool _" << name
            << "_flip;\n";
        out << "vec4 isf_norm_" << name << "(vec2 c) { return texture2D(" << name << ", _" << name
            << "_flip ? vec2(c.x, 1.0 - c.y) : c); }\n";
        out << "vec4 isf_pixel_" << name << "(vec2 p) { return isf_norm_" << name << "(p / _" << name
            << "_imgSize); }\n";
    }
    return out.str();
}

// Replaces the image macros by calls to the lookups above, on the same line.
std::string rewriteMacros(const std::string& code) {
    static const std::regex macro(R"(\b(IMG_PIXEL|IMG_NORM_PIXEL|IMG_THIS_PIXEL|IMG_THIS_NORM_PIXEL|IMG_NORM_THIS_PIXEL|IMG_SIZE)\s*\(\s*([A-Za-z_][A-Za-z0-9_]*)\s*(,?))");
    std::string out;
    auto begin = std::sregex_iterator(code.begin(), code.end(), macro);
    size_t last = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        out.append(code, last, static_cast<size_t>(m.position()) - last);
        const std::string kind = m[1], name = m[2];
        const bool comma = m[3].length() > 0;
        if (kind == "IMG_PIXEL") out += "isf_pixel_" + name + "(";
        else if (kind == "IMG_NORM_PIXEL") out += "isf_norm_" + name + "(";
        else if (kind == "IMG_SIZE") out += "(_" + name + "_imgSize";
        else out += "isf_norm_" + name + "(isf_FragNormCoord";  // this pixel
        // A comma after the name belongs to a macro that takes a coordinate.
        if (comma && (kind == "IMG_SIZE" || kind.find("THIS") != std::string::npos)) out += ",";
        last = static_cast<size_t>(m.position() + m.length());
    }
    out.append(code, last, std::string::npos);
    return out;
}

// The user's code with a #version line of its own blanked (ours comes
// first); the line count stays.
std::string userCode(const std::string& source) {
    static const std::regex version(R"(^[ \t]*#[ \t]*version[^\n]*)", std::regex::multiline);
    return rewriteMacros(std::regex_replace(source, version, ""));
}

int lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// Line `number` (from 1) of `text`.
std::string lineOf(const std::string& text, int number) {
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i < number && std::getline(in, line);) ++i;
    return line;
}

// A compiler's message with the lookups the image macros became put back as
// the macros: "no function with name 'isf_norm_nope'" is
// "IMG_NORM_PIXEL: no image named "nope"" when no image has that name.
std::string macroTerms(std::string what, const std::string& userLine, const std::vector<std::string>& images) {
    static const std::regex generated(
        R"((isf_norm_|isf_pixel_)([A-Za-z_][A-Za-z0-9_]*)|_([A-Za-z_][A-Za-z0-9_]*)_imgSize)");
    std::smatch m;
    if (!std::regex_search(what, m, generated)) return what;
    const std::string name = m[2].matched ? m[2].str() : m[3].str();
    // The macro the user wrote with that name on that line, else the one the lookup serves.
    std::string macro = m[3].matched ? "IMG_SIZE" : m[1] == "isf_pixel_" ? "IMG_PIXEL" : "IMG_NORM_PIXEL";
    std::smatch written;
    if (std::regex_search(userLine, written, std::regex(R"(\b(IMG_[A-Z_]+)\s*\(\s*)" + name + R"(\b)")))
        macro = written[1];
    if (std::find(images.begin(), images.end(), name) == images.end())
        return macro + ": no image named \"" + name + "\"";
    return std::regex_replace(what, generated, macro + "($2$3)");
}

}  // namespace

ISFSource ISFSource::build(const ISFHeader& header, const std::string& fragmentSource,
                           const std::string& vertexSource) {
    ISFSource result;
    result.userFragment = fragmentSource;
    result.userVertex = vertexSource;
    result.images = imageNames(header);
    const std::string common = "#version 120\n" + declarations(header);
    result.fragment = common + userCode(fragmentSource);
    result.fragmentOffset = lines(common);
    const std::string vertexCommon =
        common + "void isf_vertShaderInit() {\n    gl_Position = vec4(gl_Vertex.xy, 0.0, 1.0);\n"
                 "    isf_FragNormCoord = gl_Vertex.xy * 0.5 + 0.5;\n}\n";
    const std::string vertex =
        vertexSource.empty() ? std::string("void main() { isf_vertShaderInit(); }\n") : userCode(vertexSource);
    result.vertex = vertexCommon + vertex;
    result.vertexOffset = lines(vertexCommon);
    return result;
}

std::string ISFSource::userMessage(const std::string& log, const std::string& file, bool isVertex) const {
    const int offset = isVertex ? vertexOffset : fragmentOffset;
    // Mesa: "0:14(12): error: ..."; others: "0(14) : error C0000: ..." or "ERROR: 0:14: ...".
    static const std::regex mesa(R"((?:ERROR: )?\d+:(\d+)(?:\(\d+\))?: (?:error: )?(.*))");
    static const std::regex other(R"(\d+\((\d+)\) : error [A-Z0-9]+: (.*))");
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (line.find("error") == std::string::npos && line.find("ERROR") == std::string::npos) continue;
        if (std::regex_search(line, m, mesa) || std::regex_search(line, m, other)) {
            const int at = std::stoi(m[1]) - offset;
            std::string what = m[2];
            std::replace(what.begin(), what.end(), '`', '\'');
            const int userLine = std::max(at, 1);
            what = macroTerms(what, lineOf(isVertex ? userVertex : userFragment, userLine), images);
            return file + ":" + std::to_string(userLine) + ": " + what;
        }
        return file + ": " + line;
    }
    std::string first = log.substr(0, log.find('\n'));
    return file + ": " + (first.empty() ? std::string("the shader does not compile") : first);
}
