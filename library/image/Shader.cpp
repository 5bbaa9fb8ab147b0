#include "Shader.h"

#include "host/QCGLCGImage.h"
#include "host/QCOpenGLContext.h"
#include "host/PortValues.h"
#include "host/QCRenderer.h"
#include "library/image/isf/ISFSource.h"
#include "platform/foundation/NSLog.h"
#include "platform/gl/GLShareGroup.h"
#include "platform/graphics/PNGFile.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

// An input of the shader and the ports it is made of.
struct Shader::Input {
    ISFInput info;
    std::vector<QCNumberPort*> numbers;  // float, point2D (x, y)
    QCColorPort* color = nullptr;
    QCBooleanPort* boolean = nullptr;
    QCIndexPort* index = nullptr;
    QCGLImagePort* image = nullptr;
    bool wasOn = false;  // an event fires when its port turns on
};

namespace {

bool readText(const std::filesystem::path& path, std::string* text, std::string* error) {
    std::error_code code;
    if (!std::filesystem::is_regular_file(path, code)) {
        *error = path.string() + ": " + (std::filesystem::exists(path, code) ? "not a regular file" : "no such file");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    if (!in && !in.eof()) {
        *error = path.string() + ": cannot be read";
        return false;
    }
    *text = out.str();
    return true;
}

std::filesystem::file_time_type modified(const std::filesystem::path& path) {
    std::error_code code;
    const auto time = std::filesystem::last_write_time(path, code);
    return code ? std::filesystem::file_time_type{} : time;
}

// The ports of one input, kept across recompiles when the name and type stay.
// Port descriptions are C strings that must live as long as the port: the
// texts are kept for the life of the process (a handful per shader file).
const char* keptText(const std::string& text) {
    static std::mutex mutex;
    static std::set<std::string> texts;
    const std::lock_guard lock(mutex);
    return texts.insert(text).first->c_str();
}

std::vector<std::unique_ptr<QCPort>> portsFor(QCPatch* patch, const ISFInput& in) {
    std::vector<std::unique_ptr<QCPort>> ports;
    const char* description = keptText(in.label.empty() ? "an input of the shader" : in.label);
    const auto number = [&](const std::string& name, size_t i) {
        auto port = std::make_unique<QCNumberPort>(
            patch, name, QCPortInfo{.description = description, .min = in.minimum[i], .max = in.maximum[i]});
        port->setDoubleValue(in.defaults[i]);
        ports.push_back(std::move(port));
    };
    switch (in.type) {
    case ISFInput::Type::Float: number(in.name, 0); break;
    case ISFInput::Type::Point2D:
        number(in.name + "X", 0);
        number(in.name + "Y", 1);
        break;
    case ISFInput::Type::Color: {
        // One range for the four components: the widest the header gives.
        const double low = *std::min_element(in.minimum.begin(), in.minimum.end()),
                     high = *std::max_element(in.maximum.begin(), in.maximum.end());
        auto port = std::make_unique<QCColorPort>(patch, in.name,
                                                  QCPortInfo{.description = description, .min = low, .max = high});
        port->setColorValue({in.defaults[0], in.defaults[1], in.defaults[2], in.defaults[3]});
        ports.push_back(std::move(port));
        break;
    }
    case ISFInput::Type::Bool:
    case ISFInput::Type::Event: {
        auto port = std::make_unique<QCBooleanPort>(patch, in.name, QCPortInfo{.description = description});
        port->setBooleanValue(in.type == ISFInput::Type::Bool && in.defaults[0] != 0);
        ports.push_back(std::move(port));
        break;
    }
    case ISFInput::Type::Long: {
        std::string choices;
        for (size_t i = 0; i < in.values.size(); ++i)
            choices += (i ? ", " : "") + std::to_string(i) + " " +
                       (i < in.labels.size() ? in.labels[i] : std::to_string(in.values[i]));
        auto port = std::make_unique<QCIndexPort>(
            patch, in.name,
            QCPortInfo{.description = keptText(std::string(description) + " (" + choices + ")"), .min = 0,
                       .max = static_cast<double>(in.values.size() - 1)});
        port->setMaxIndexValue(static_cast<uint32_t>(in.values.size() - 1));
        const auto at = std::find(in.values.begin(), in.values.end(), static_cast<int>(in.defaults[0]));
        port->setIndexValue(at == in.values.end() ? 0 : static_cast<uint32_t>(at - in.values.begin()));
        ports.push_back(std::move(port));
        break;
    }
    default:
        ports.push_back(std::make_unique<QCGLImagePort>(patch, in.name, QCPortInfo{.description = description}));
        break;
    }
    for (auto& port : ports) port->makeInput();
    return ports;
}

// The names and kinds of the ports portsFor makes.
std::vector<std::pair<std::string, QCPortKind>> portShape(const ISFInput& in) {
    switch (in.type) {
    case ISFInput::Type::Float: return {{in.name, QCPortKind::Number}};
    case ISFInput::Type::Point2D: return {{in.name + "X", QCPortKind::Number}, {in.name + "Y", QCPortKind::Number}};
    case ISFInput::Type::Color: return {{in.name, QCPortKind::RGBA}};
    case ISFInput::Type::Bool:
    case ISFInput::Type::Event: return {{in.name, QCPortKind::Boolean}};
    case ISFInput::Type::Long: return {{in.name, QCPortKind::Index}};
    default: return {{in.name, QCPortKind::Image}};
    }
}

}  // namespace

Shader::Shader(const std::string& identifier) : QCProgrammablePatch(identifier) {}

Shader::Shader(const std::string& identifier, const std::filesystem::path& file) : QCProgrammablePatch(identifier) {
    file_ = file;
    label_ = file.filename().string();
    std::string text, vertex, error;
    loaded_ = stamp();
    if (!readFiles(&text, &vertex, &error) || !load(text, vertex, &error)) NSLogProblem("Shader: %s", error.c_str());
}

Shader::~Shader() = default;

bool Shader::applySetting(const std::string& key, const nlohmann::json& value, std::string* error) {
    if (key != "shader") return QCProgrammablePatch::applySetting(key, value, error);
    if (!value.is_string() || value.get<std::string>().empty()) {
        *error = "needs its \"shader\" as the path of an .fs file";
        return false;
    }
    std::filesystem::path path = value.get<std::string>();
    const std::string composition = QCRenderer::FileScope::innermost();
    if (path.is_relative() && !composition.empty()) path = std::filesystem::path(composition).parent_path() / path;
    file_ = path;
    label_ = path.filename().string();
    loaded_ = stamp();
    // A file that is missing or does not compile is no document error: the
    // patch runs and says why, so the show goes on and the file can be
    // written or mended live.
    std::string text, vertex, why;
    if (!readFiles(&text, &vertex, &why) || !load(text, vertex, &why)) {
        lastError_ = why;
        NSLogProblem("Shader %s: %s", identifier().c_str(), why.c_str());
    }
    return true;
}

bool Shader::readFiles(std::string* fragment, std::string* vertex, std::string* error) {
    std::filesystem::path vertexPath = file_;
    vertexPath.replace_extension(".vs");
    std::error_code code;
    return readText(file_, fragment, error) &&
           (!std::filesystem::exists(vertexPath, code) || readText(vertexPath, vertex, error));
}

Shader::Stamp Shader::stamp() const {
    std::filesystem::path vertexPath = file_;
    vertexPath.replace_extension(".vs");
    return {modified(file_), modified(vertexPath)};
}

QCProgrammablePatch::Dictionary Shader::compileSourceOfType(const std::string& type) {
    label_ = identifier() + ".fs";
    std::string error;
    const bool ok = load(sourceOfType(type), "", &error);
    if (!ok) NSLogProblem("Shader %s: %s", identifier().c_str(), error.c_str());
    return {{"success", ok}, {"message", ok ? nlohmann::json(nullptr) : nlohmann::json(error)}};
}

bool Shader::load(const std::string& source, const std::string& vertexSource, std::string* error) {
    std::string why;
    auto header = ISFHeader::parse(source, &why);
    if (!header) {
        *error = label_ + ":" + why;
        return false;
    }
    auto pending = std::make_unique<Pending>();
    for (const ISFImported& image : header->imported) {
        std::filesystem::path path = image.path;
        if (path.is_relative() && !file_.empty()) path = file_.parent_path() / path;
        std::string reason;
        CGImageRef picture = CGImageCreateWithPNGFile(path.string(), &reason);
        if (!picture) {
            *error = label_ + ": IMPORTED \"" + image.name + "\": " + reason;
            return false;
        }
        pending->imported[image.name] = std::make_shared<const QCGLCGImage>(picture, nullptr);
    }
    // The ports are there from the header, before anything compiles, so the
    // composition's connections hold even while the shader is mended.
    if (!renderer_) makePorts(*header);
    pending->header = std::move(header);
    pending->source = source;
    pending->vertex = vertexSource;
    pending_ = std::move(pending);
    return true;
}

bool Shader::compilePending(std::string* error) {
    // Compiled on the first frame, not when the patch is made: OpenGL is not
    // touched before the host has made its window.
    std::unique_ptr<Pending> pending = std::move(pending_);
    auto renderer = ISFRenderer::create(
        *pending->header, ISFSource::build(*pending->header, pending->source, pending->vertex), label_, error);
    if (!renderer) return false;
    makePorts(*pending->header);
    header_ = std::move(pending->header);
    renderer_ = std::move(renderer);
    imported_ = std::move(pending->imported);
    return true;
}

void Shader::makePorts(const ISFHeader& header) {
    std::vector<std::unique_ptr<Input>> inputs;
    std::vector<std::unique_ptr<QCPort>> owned;
    const auto take = [&](const std::string& name) {
        for (auto& port : ownedPorts_)
            if (port && port->name() == name) return std::move(port);
        return std::unique_ptr<QCPort>();
    };
    for (const ISFInput& in : header.inputs) {
        auto input = std::make_unique<Input>();
        input->info = in;
        const auto before =
            std::find_if(inputs_.begin(), inputs_.end(), [&](const auto& i) { return i->info.name == in.name; });
        const ISFInput* was = before == inputs_.end() ? nullptr : &(*before)->info;
        std::vector<QCPort*> ports;
        // An input whose ports read as before keeps them: their objects,
        // values and connections.
        if (was && was->type == in.type && was->label == in.label && was->minimum == in.minimum &&
            was->maximum == in.maximum && was->values == in.values && was->labels == in.labels) {
            for (const auto& [name, kind] : portShape(in))
                if (auto port = take(name)) {
                    ports.push_back(port.get());
                    owned.push_back(std::move(port));
                }
        } else {
            // New ports; one whose range or choices changed keeps its value,
            // one of a changed type starts from its default.
            for (auto& port : portsFor(this, in)) {
                if (auto old = was && was->type == in.type ? take(port->name()) : nullptr)
                    if (old->kind() == port->kind()) transferValue(*old, *port);
                ports.push_back(port.get());
                owned.push_back(std::move(port));
            }
        }
        for (QCPort* port : ports) {
            switch (port->kind()) {
            case QCPortKind::Number: input->numbers.push_back(static_cast<QCNumberPort*>(port)); break;
            case QCPortKind::Boolean: input->boolean = static_cast<QCBooleanPort*>(port); break;
            case QCPortKind::Index:
                input->index = static_cast<QCIndexPort*>(port);
                input->index->setMaxIndexValue(static_cast<uint32_t>(in.values.size() - 1));
                break;
            case QCPortKind::Image: input->image = static_cast<QCGLImagePort*>(port); break;
            case QCPortKind::RGBA: input->color = static_cast<QCColorPort*>(port); break;
            default: break;
            }
        }
        inputs.push_back(std::move(input));
    }
    // The ports of inputs the header no longer has leave the patch here.
    ownedPorts_ = std::move(owned);
    inputs_ = std::move(inputs);
}

void Shader::readFileIfSaved() {
    if (file_.empty()) return;
    const Stamp now = stamp();
    if (now == loaded_) return;
    loaded_ = now;
    std::string text, vertex, error;
    if (readFiles(&text, &vertex, &error) && load(text, vertex, &error) && compilePending(&error)) {
        lastError_.clear();
        NSLog("Shader %s: %s recompiled", identifier().c_str(), label_.c_str());
    } else if (error != lastError_) {
        lastError_ = error;
        NSLogProblem("Shader %s: %s", identifier().c_str(), error.c_str());
    }
}

void Shader::setUniforms(unsigned int program) {
    for (const auto& input : inputs_) {
        const GLint at = glGetUniformLocation(program, input->info.name.c_str());
        if (at < 0) continue;
        const auto value = [&](size_t i) {
            return i < input->numbers.size() ? static_cast<float>(input->numbers[i]->doubleValue()) : 0.0f;
        };
        switch (input->info.type) {
        case ISFInput::Type::Float: glUniform1f(at, value(0)); break;
        case ISFInput::Type::Point2D: glUniform2f(at, value(0), value(1)); break;
        case ISFInput::Type::Color: {
            const QCColor c = input->color ? input->color->colorValue() : QCColor{};
            glUniform4f(at, static_cast<float>(c.red), static_cast<float>(c.green), static_cast<float>(c.blue),
                        static_cast<float>(c.alpha));
            break;
        }
        case ISFInput::Type::Bool: glUniform1i(at, input->boolean && input->boolean->booleanValue()); break;
        case ISFInput::Type::Long: {
            const uint32_t index = input->index ? input->index->indexValue() : 0;
            glUniform1i(at, index < input->info.values.size() ? input->info.values[index] : 0);
            break;
        }
        default: break;
        }
    }
}

bool Shader::execute(QCOpenGLContext*, double time, const QCArguments*) {
    if (pending_) {
        std::string error;
        if (!compilePending(&error) && error != lastError_) {
            lastError_ = error;
            NSLogProblem("Shader %s: %s", identifier().c_str(), error.c_str());
        }
    }
    if (!renderer_) return true;
    ISFRenderer::Frame frame;
    // The size a generator renders at: the drawing's viewport when there is one.
    {
        const GLShareGroup::Scope scope;
        if (scope.ok() && CGLGetCurrentContext() != GLShareGroup::context()) {
            GLint viewport[4] = {0, 0, 0, 0};
            glGetIntegerv(GL_VIEWPORT, viewport);
            if (viewport[2] > 0 && viewport[3] > 0) renderWidth_ = viewport[2], renderHeight_ = viewport[3];
        }
    }
    frame.width = renderWidth_;
    frame.height = renderHeight_;
    bool sized = false;
    std::vector<int> fired;
    for (const auto& input : inputs_) {
        if (input->image) {
            const ImageRef& image = input->image->imageValue();
            frame.images[input->info.name] = image;
            // A filter is the size of its first image.
            if (!sized && image && image->pixelsWide() > 0) {
                frame.width = static_cast<int>(image->pixelsWide());
                frame.height = static_cast<int>(image->pixelsHigh());
                sized = true;
            }
        } else if (!input->numbers.empty()) {
            frame.variables[input->info.name] = input->numbers[0]->doubleValue();
        } else if (input->color) {
            // A size expression reads a colour by its red.
            frame.variables[input->info.name] = input->color->colorValue().red;
        } else if (input->index) {
            const uint32_t index = input->index->indexValue();
            frame.variables[input->info.name] = index < input->info.values.size() ? input->info.values[index] : 0;
        }
    }
    for (const auto& [name, image] : imported_) frame.images[name] = image;
    if (inputWidth.indexValue() > 0) frame.width = static_cast<int>(inputWidth.indexValue());
    if (inputHeight.indexValue() > 0) frame.height = static_cast<int>(inputHeight.indexValue());
    frame.time = time;
    frame.timeDelta = lastTime_ < 0 ? 0 : time - lastTime_;
    frame.frameIndex = frameIndex_;
    frame.setInputs = [this](unsigned int program) {
        setUniforms(program);
        // Events are true in the frame their port turned on, and only then.
        for (const auto& input : inputs_)
            if (input->info.type == ISFInput::Type::Event && input->boolean) {
                const bool on = input->boolean->booleanValue();
                const GLint at = glGetUniformLocation(program, input->info.name.c_str());
                if (at >= 0) glUniform1i(at, on && !input->wasOn);
            }
    };
    std::string error;
    ImageRef image = renderer_->render(frame, &error);
    for (const auto& input : inputs_)
        if (input->info.type == ISFInput::Type::Event && input->boolean) input->wasOn = input->boolean->booleanValue();
    if (!error.empty() && error != lastError_) {
        lastError_ = error;
        NSLogProblem("Shader %s: %s: %s", identifier().c_str(), label_.c_str(), error.c_str());
    }
    lastTime_ = time;
    ++frameIndex_;
    if (image) outputImage.setImageValue(std::move(image));
    return true;
}

void Shader::cleanup(QCContext*) { renderer_.reset(); }
