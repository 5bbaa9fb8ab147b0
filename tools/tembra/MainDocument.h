#pragma once

#include "platform/foundation/NSDocumentController.h"

#include <memory>
#include <string>

// The composition a run opens, shown to the application's document
// controller as its first open document for as long as the run lasts.
class MainDocument {
public:
    // `edited`: the run holds changes not saved to the file (values set from
    // the command line).
    MainDocument(const std::string& path, bool edited) : document_(NSDocument::documentWithContentsOfFile(path)) {
        document_->setDocumentEdited(edited);
        NSDocumentController::sharedDocumentController().addDocument(document_);
    }
    ~MainDocument() { NSDocumentController::sharedDocumentController().removeDocument(document_); }
    MainDocument(const MainDocument&) = delete;
    MainDocument& operator=(const MainDocument&) = delete;

private:
    std::shared_ptr<NSDocument> document_;
};
