#pragma once

#include "host/QCPatch.h"

// Names the type of the file system item at the file URL on inputFilePath as
// a uniform type identifier, or "" when the item cannot be resolved. Looks up
// again each time the port hands out a new value object.
class TembraFileType : public QCPatch {
public:
    static constexpr const char* className = "TembraFileType";
    static int executionMode() { return 2; }

    explicit TembraFileType(const std::string& identifier);
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputFilePath{this, "inputFilePath"};
    QCStringPort outputUTI{this, "outputUTI"};

private:
    StringRef currentURL;
};
