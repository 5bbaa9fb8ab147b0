#pragma once

#include "host/QCPatch.h"

#include <memory>
#include <string>

class MovieDecoder;

// Provider: the newest picture of a camera (V4L2), or of any FFmpeg input
// given as "format:specifier", such as a test pattern from lavfi.
class Camera : public QCPatch {
public:
    static constexpr const char* className = "Camera";
    static constexpr const char* classDescription =
        "The newest picture of a camera, or of an FFmpeg input such as lavfi:testsrc2.";
    static int executionMode() { return 2; }

    explicit Camera(const std::string& identifier);
    ~Camera() override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputDevice{this, "inputDevice",
        {.description = "a V4L2 device such as /dev/video0, or format:specifier such as "
                        "lavfi:testsrc2=size=640x480:rate=30"}};
    QCIndexPort inputWidth{this, "inputWidth", {.description = "width asked of the camera; 0: its own", .min = 0, .max = 7680}};
    QCIndexPort inputHeight{this, "inputHeight", {.description = "height asked of the camera; 0: its own", .min = 0, .max = 4320}};
    QCNumberPort inputRate{this, "inputRate",
        {.description = "pictures per second asked of the camera; 0: its own", .min = 0, .max = 240}};
    QCGLImagePort outputImage{this, "outputImage", {.description = "the newest picture; none while there is no device"}};

private:
    std::unique_ptr<MovieDecoder> decoder_;
    StringRef device_;
    uint32_t width_ = 0, height_ = 0;
    double rate_ = 0;
    bool hasOpened_ = false;
    uint64_t toldError_ = 0;
    const void* shown_ = nullptr;
};
