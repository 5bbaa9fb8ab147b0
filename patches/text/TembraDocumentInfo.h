#pragma once

#include "host/QCPatch.h"

// Publishes the application's current directory and the facts of its first
// open document, read afresh on every execution.
class TembraDocumentInfo : public QCPatch {
public:
    static constexpr const char* className = "TembraDocumentInfo";
    static constexpr const char* classDescription =
        "Tells about the open composition: its folder, name, date, path and URL.";
    static int executionMode() { return 2; }

    explicit TembraDocumentInfo(const std::string& identifier) : QCPatch(identifier) {}
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort outputCurrentDirectory{this, "outputCurrentDirectory",
        {.description = "the working folder of the program"}};
    QCStringPort outputDocumentDisplayName{this, "outputDocumentDisplayName",
        {.description = "the composition's name as shown to a user"}};
    QCStringPort outputDocumentModificationDate{this, "outputDocumentModificationDate",
        {.description = "when the composition file was last changed"}};
    QCStringPort outputDocumentFileName{this, "outputDocumentFileName",
        {.description = "path of the composition file"}};
    QCStringPort outputDocumentFileURL{this, "outputDocumentFileURL",
        {.description = "the composition file as a file:// URL"}};
    QCBooleanPort outputDocumentIsEdited{this, "outputDocumentIsEdited",
        {.description = "whether the composition has unsaved changes"}};
};
