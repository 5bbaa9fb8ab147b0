#include "TembraDocumentInfo.h"

#include "platform/foundation/NSDocumentController.h"

bool TembraDocumentInfo::execute(QCOpenGLContext*, double, const QCArguments*) {
    NSDocumentController& controller = NSDocumentController::sharedDocumentController();
    outputCurrentDirectory.setStringValue(newString(controller.currentDirectory()));

    // One snapshot serves for the count and the first entry, so a document
    // closing in between cannot leave an empty list to index.
    const auto documents = controller.documents();
    if (documents.size() == 0) return true;
    const auto& document = documents[0];

    outputDocumentDisplayName.setStringValue(newString(document->displayName()));
    const auto date = document->fileModificationDate();
    outputDocumentModificationDate.setStringValue(date ? newString(date->description()) : nullptr);
    const auto fileName = document->fileName();
    outputDocumentFileName.setStringValue(fileName ? newString(*fileName) : nullptr);
    const auto fileURL = document->fileURL();
    outputDocumentFileURL.setStringValue(fileURL ? newString(fileURL->absoluteString()) : nullptr);
    outputDocumentIsEdited.setBooleanValue(document->isDocumentEdited());
    return true;
}
