#pragma once

#include "host/QCProgrammablePatch.h"

// A programmable patch with one source type, "expression". Compiling accepts
// any source; every execution publishes a one-entry parameter list
// ("inputHi", a number); while the patch's name is quoted text, the next
// source set becomes its name.
class FreeFrame : public QCProgrammablePatch {
public:
    static constexpr const char* className = "FreeFrame";
    static int executionMode() { return 2; }
    static std::vector<std::string> sourceTypes() { return {"expression"}; }

    explicit FreeFrame(const std::string& identifier) : QCProgrammablePatch(identifier) {}

    std::vector<std::string> sourceTypesOfClass() const override { return sourceTypes(); }
    Dictionary compileSourceOfType(const std::string& type) override;
    void setSource(const std::string& source, const std::string& type) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    // Declared for the host to show; the patch never reads or writes them.
    QCStringPort outputCurrentDirectory{this, "outputCurrentDirectory"};
    QCStringPort outputDocumentDisplayName{this, "outputDocumentDisplayName"};
    QCStringPort outputDocumentModificationDate{this, "outputDocumentModificationDate"};
    QCStringPort outputDocumentFileName{this, "outputDocumentFileName"};
    QCStringPort outputDocumentFileURL{this, "outputDocumentFileURL"};
    QCBooleanPort outputDocumentIsEdited{this, "outputDocumentIsEdited"};
};
