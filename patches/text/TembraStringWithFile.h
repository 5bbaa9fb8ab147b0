#pragma once

#include "host/QCPatch.h"

// Publishes the text of the file named by inputFilePath, read again each time
// the port hands out a new path object.
class TembraStringWithFile : public QCPatch {
public:
    static constexpr const char* className = "TembraStringWithFile";
    static int executionMode() { return 2; }

    explicit TembraStringWithFile(const std::string& identifier);
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputFilePath{this, "inputFilePath"};
    QCStringPort outputFileContent{this, "outputFileContent"};

private:
    StringRef currentFile;
};
