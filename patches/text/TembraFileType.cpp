#include "TembraFileType.h"

#include "platform/foundation/LaunchServices.h"
#include "platform/foundation/NSURL.h"

TembraFileType::TembraFileType(const std::string& identifier) : QCPatch(identifier), currentURL(newString("")) {}

QCContext* TembraFileType::setup(QCContext* context) {
    outputUTI.setStringValue(newString(""));
    return context;
}

bool TembraFileType::execute(QCOpenGLContext*, double, const QCArguments*) {
    if (inputFilePath.stringValue() == currentURL) return true;
    currentURL = inputFilePath.stringValue();

    FSRef ref;
    const auto fileURL = currentURL ? NSURL::URLWithString(*currentURL) : nullptr;
    if (!fileURL || !CFURLGetFSRef(fileURL.get(), &ref)) {
        outputUTI.setStringValue(newString(""));
        return true;
    }

    LSItemInfoRecord outInfo;
    outInfo.extension = std::nullopt;
    if (LSCopyItemInfoForRef(ref, kLSRequestExtension | kLSRequestTypeCreator, &outInfo) != noErr) {
        outputUTI.setStringValue(newString(""));
        return true;
    }

    std::optional<std::string> itemUTI;
    if (outInfo.extension) {
        itemUTI = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, *outInfo.extension, nullptr);
    } else {
        // No extension: the item's type code stands in for one.
        const std::string typeString = UTCreateStringForOSType(outInfo.filetype);
        itemUTI = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, typeString, nullptr);
    }
    outputUTI.setStringValue(newString(itemUTI ? *itemUTI : ""));
    return true;
}
