#pragma once

#include "host/QCPatch.h"

// Names the type of the file system item at the file URL on inputFilePath as
// a uniform type identifier, or "" when the item cannot be resolved. Looks up
// again each time the port hands out a new value object.
class TembraFileType : public QCPatch {
public:
    static constexpr const char* className = "TembraFileType";
    static constexpr const char* classDescription =
        "Names the type of a file as a Uniform Type Identifier (public.jpeg, ...).";
    static int executionMode() { return 2; }

    explicit TembraFileType(const std::string& identifier);
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputFilePath{this, "inputFilePath",
        {.description = "the file as a URL, such as file:///tmp/picture.jpg", .path = QCPathKind::FileOrURL}};
    QCStringPort outputUTI{this, "outputUTI",
        {.description = "the type identifier, or empty when the file cannot be found"}};

private:
    StringRef currentURL;
};
