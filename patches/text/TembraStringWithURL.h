#pragma once

#include "host/QCPatch.h"

// Publishes the text fetched from the URL in inputURL, fetched again each
// time the port hands out a new URL object.
class TembraStringWithURL : public QCPatch {
public:
    static constexpr const char* className = "TembraStringWithURL";
    static int executionMode() { return 2; }

    explicit TembraStringWithURL(const std::string& identifier);
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputURL{this, "inputURL"};
    QCStringPort outputURLContent{this, "outputURLContent"};

private:
    StringRef currentURL;
};
