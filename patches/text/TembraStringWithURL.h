#pragma once

#include "host/QCPatch.h"

// Publishes the text fetched from the URL in inputURL, fetched again each
// time the port hands out a new URL object.
class TembraStringWithURL : public QCPatch {
public:
    static constexpr const char* className = "TembraStringWithURL";
    static constexpr const char* classDescription =
        "Fetches the text at a URL whenever the URL is set anew.";
    static int executionMode() { return 2; }

    explicit TembraStringWithURL(const std::string& identifier);
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputURL{this, "inputURL",
        {.description = "the URL (http, https, ftp or file)", .path = QCPathKind::URL}};
    QCStringPort outputURLContent{this, "outputURLContent",
        {.description = "the fetched text; keeps the last text fetched when a fetch fails"}};

private:
    StringRef currentURL;
};
