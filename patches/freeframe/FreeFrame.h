#pragma once

#include "host/QCProgrammablePatch.h"

// A programmable patch with one source type, "expression". Compiling accepts
// any source; every execution publishes a one-entry parameter list
// ("inputHi", a number); while the patch's name is quoted text, the next
// source set becomes its name.
class FreeFrame : public QCProgrammablePatch {
public:
    static constexpr const char* className = "FreeFrame";
    static constexpr const char* classDescription =
        "A programmable patch with one source type, \"expression\"; it publishes the parameter inputHi.";
    static int executionMode() { return 2; }
    static std::vector<std::string> sourceTypes() { return {"expression"}; }

    explicit FreeFrame(const std::string& identifier) : QCProgrammablePatch(identifier) {}

    std::vector<std::string> sourceTypesOfClass() const override { return sourceTypes(); }
    Dictionary compileSourceOfType(const std::string& type) override;
    void setSource(const std::string& source, const std::string& type) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    // Declared for the host to show; the patch never reads or writes them.
    QCStringPort outputCurrentDirectory{this, "outputCurrentDirectory",
        {.description = "declared for compatibility; never set"}};
    QCStringPort outputDocumentDisplayName{this, "outputDocumentDisplayName",
        {.description = "declared for compatibility; never set"}};
    QCStringPort outputDocumentModificationDate{this, "outputDocumentModificationDate",
        {.description = "declared for compatibility; never set"}};
    QCStringPort outputDocumentFileName{this, "outputDocumentFileName",
        {.description = "declared for compatibility; never set"}};
    QCStringPort outputDocumentFileURL{this, "outputDocumentFileURL",
        {.description = "declared for compatibility; never set"}};
    QCBooleanPort outputDocumentIsEdited{this, "outputDocumentIsEdited",
        {.description = "declared for compatibility; never set"}};
};
