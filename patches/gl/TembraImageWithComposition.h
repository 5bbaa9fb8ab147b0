#pragma once

#include "OfflineRenderer.h"
#include "host/QCPatch.h"

#include <memory>

// Renders another composition file off screen at the size of its two size
// ports, at the host's time, and publishes the picture on every execution.
// The renderer is rebuilt whenever the path object or the size changes.
class TembraImageWithComposition : public QCPatch {
public:
    static constexpr const char* className = "TembraImageWithComposition";
    static constexpr const char* classDescription =
        "Renders another composition file into an image.";
    static int executionMode() { return 3; }
    static int timeModeWithIdentifier(const std::string&) { return 1; }

    explicit TembraImageWithComposition(const std::string& identifier);
    ~TembraImageWithComposition() override;
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputCompositionPath{this, "inputCompositionPath",
        {.description = "path of the composition file to render", .path = QCPathKind::File}};
    QCIndexPort inputPixelsWide{this, "inputPixelsWide",
        {.description = "width of the picture in pixels"}};
    QCIndexPort inputPixelsHigh{this, "inputPixelsHigh",
        {.description = "height of the picture in pixels"}};
    QCGLImagePort outputImage{this, "outputImage",
        {.description = "the rendered picture, or none when the composition cannot be rendered"}};

private:
    std::unique_ptr<OfflineRenderer> or_;  // "or" is an operator name in C++
    StringRef currentPath;
    int32_t currentPixelsWide;
    int32_t currentPixelsHigh;
};
