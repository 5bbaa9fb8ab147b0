#pragma once

#include "NSDocument.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The application's open documents, in the order they were opened. The host
// adds the compositions it opens, the main composition first.
class NSDocumentController {
public:
    static NSDocumentController& sharedDocumentController();

    // The folder of the first document's file; the working directory when
    // there is no document or it has no file.
    std::string currentDirectory() const;
    // A snapshot of the open documents.
    std::vector<std::shared_ptr<NSDocument>> documents() const;

    void addDocument(std::shared_ptr<NSDocument> document);
    void removeDocument(const std::shared_ptr<NSDocument>& document);

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<NSDocument>> documents_;
};
