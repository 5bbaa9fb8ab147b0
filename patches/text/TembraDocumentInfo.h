#pragma once

#include "host/QCPatch.h"

// Publishes the application's current directory and the facts of its first
// open document, read afresh on every execution.
class TembraDocumentInfo : public QCPatch {
public:
    static constexpr const char* className = "TembraDocumentInfo";
    static int executionMode() { return 2; }

    explicit TembraDocumentInfo(const std::string& identifier) : QCPatch(identifier) {}
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort outputCurrentDirectory{this, "outputCurrentDirectory"};
    QCStringPort outputDocumentDisplayName{this, "outputDocumentDisplayName"};
    QCStringPort outputDocumentModificationDate{this, "outputDocumentModificationDate"};
    QCStringPort outputDocumentFileName{this, "outputDocumentFileName"};
    QCStringPort outputDocumentFileURL{this, "outputDocumentFileURL"};
    QCBooleanPort outputDocumentIsEdited{this, "outputDocumentIsEdited"};
};
