#pragma once

#include "host/QCPatch.h"

// Provider: the picture of the PNG file named by inputPath, read again each
// time the port hands out a new path object. A relative path is taken from
// the folder of the composition. A file that cannot be read gives no image
// and one log line.
class ImageFile : public QCPatch {
public:
    static constexpr const char* className = "ImageFile";
    static constexpr const char* classDescription =
        "Reads a PNG file as an image whenever its path is set anew.";
    static int executionMode() { return 2; }

    explicit ImageFile(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputPath{this, "inputPath",
                    {.description = "path of the PNG file", .path = QCPathKind::File}};
    QCGLImagePort outputImage{this, "outputImage",
                    {.description = "the picture, or none when the file cannot be read"}};

private:
    StringRef currentPath;
    bool hasRead = false;
};
