#pragma once

#include "host/QCPatch.h"

// Publishes the text of the file named by inputFilePath, read again each time
// the port hands out a new path object.
class TembraStringWithFile : public QCPatch {
public:
    static constexpr const char* className = "TembraStringWithFile";
    static constexpr const char* classDescription =
        "Reads a UTF-8 text file whenever its path is set anew.";
    static int executionMode() { return 2; }

    explicit TembraStringWithFile(const std::string& identifier);
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputFilePath{this, "inputFilePath",
        {.description = "path of the text file", .path = QCPathKind::File}};
    QCStringPort outputFileContent{this, "outputFileContent",
        {.description = "the file's text; keeps the last text read when the file cannot be read"}};

private:
    StringRef currentFile;
};
