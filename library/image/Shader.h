#pragma once

#include "host/QCProgrammablePatch.h"
#include "library/image/isf/ISFHeader.h"
#include "library/image/isf/ISFRenderer.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Processor: an ISF 2.0 shader ("shader": "glow.fs" beside the composition,
// or its text as "source"); each of its INPUTS is a port of that name and
// outputImage is its picture, on the GPU. Saving the file recompiles it
// between frames, and the ports follow its INPUTS; a shader that does not
// compile is one log line in the file's own line numbers, and the last good
// one keeps running.
class Shader : public QCProgrammablePatch {
public:
    static constexpr const char* className = "Shader";
    static constexpr const char* classDescription =
        "Runs an ISF shader (\"shader\": \"glow.fs\"): its inputs become ports, its picture outputImage.";
    static int executionMode() { return 3; }
    // TIME moves every frame.
    static int timeModeWithIdentifier(const std::string&) { return 1; }
    static constexpr bool portsFollowSource = true;

    explicit Shader(const std::string& identifier);
    // A shader of the library: `file` absolute.
    Shader(const std::string& identifier, const std::filesystem::path& file);
    ~Shader() override;

    bool applySetting(const std::string& key, const nlohmann::json& value, std::string* error) override;
    std::vector<std::string> sourceTypesOfClass() const override { return {"isf"}; }
    Dictionary compileSourceOfType(const std::string& type) override;
    // Reads the files again when they were saved.
    void updatePorts() override { readFileIfSaved(); }
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;
    void cleanup(QCContext* context) override;

    QCIndexPort inputWidth{this, "inputWidth",
        {.description = "width of the picture in pixels; 0: the input image's, or the composition's", .min = 0,
         .max = 16384}};
    QCIndexPort inputHeight{this, "inputHeight",
        {.description = "height of the picture in pixels; 0: the input image's, or the composition's", .min = 0,
         .max = 16384}};
    QCGLImagePort outputImage{this, "outputImage", {.description = "the shader's picture"}};

private:
    struct Input;
    // When the shader's files were last read: its .fs and the .vs beside it.
    struct Stamp {
        std::filesystem::file_time_type fragment, vertex;
        bool operator==(const Stamp&) const = default;
    };
    // A shader read and parsed, waiting to be compiled.
    struct Pending {
        std::unique_ptr<ISFHeader> header;
        std::string source, vertex;
        std::map<std::string, ImageRef> imported;
    };
    // Parses `source` for compiling on the next frame; false, with `error`
    // in the user's terms, and everything as it was, when it cannot.
    bool load(const std::string& source, const std::string& vertexSource, std::string* error);
    bool compilePending(std::string* error);
    void makePorts(const ISFHeader& header);
    // The .fs file and the .vs beside it, if there is one; false with
    // `error` naming the path and why.
    bool readFiles(std::string* fragment, std::string* vertex, std::string* error);
    Stamp stamp() const;
    void readFileIfSaved();
    void setUniforms(unsigned int program);

    std::filesystem::path file_;  // empty: inline source
    std::string label_;           // the file's name in messages
    Stamp loaded_{};
    std::unique_ptr<ISFHeader> header_;
    std::unique_ptr<ISFRenderer> renderer_;
    std::unique_ptr<Pending> pending_;
    std::vector<std::unique_ptr<Input>> inputs_;
    std::vector<std::unique_ptr<QCPort>> ownedPorts_;  // the ports of inputs_
    std::map<std::string, ImageRef> imported_;
    std::string lastError_;
    double lastTime_ = -1;
    int frameIndex_ = 0;
    int renderWidth_ = 640, renderHeight_ = 480;
};
