#include "TembraStringWithFile.h"

#include "platform/foundation/NSString.h"

TembraStringWithFile::TembraStringWithFile(const std::string& identifier)
    : QCPatch(identifier), currentFile(newString("")) {}

QCContext* TembraStringWithFile::setup(QCContext* context) {
    outputFileContent.setStringValue(newString(""));
    return context;
}

bool TembraStringWithFile::execute(QCOpenGLContext*, double, const QCArguments*) {
    if (inputFilePath.stringValue() == currentFile) return true;
    currentFile = inputFilePath.stringValue();
    if (!currentFile) return true;  // a null path reads nothing
    if (auto text = stringWithContentsOfFile(*currentFile, NSUTF8StringEncoding))
        outputFileContent.setStringValue(newString(std::move(*text)));
    return true;
}
