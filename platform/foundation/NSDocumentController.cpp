#include "NSDocumentController.h"

#include <algorithm>
#include <filesystem>

NSDocumentController& NSDocumentController::sharedDocumentController() {
    static NSDocumentController controller;
    return controller;
}

std::string NSDocumentController::currentDirectory() const {
    const auto open = documents();
    if (!open.empty())
        if (const auto fileName = open.front()->fileName())
            return std::filesystem::path(*fileName).parent_path().string();
    std::error_code error;
    const auto workingDirectory = std::filesystem::current_path(error);
    return error ? std::string("/") : workingDirectory.string();
}

std::vector<std::shared_ptr<NSDocument>> NSDocumentController::documents() const {
    const std::lock_guard lock(mutex_);
    return documents_;
}

void NSDocumentController::addDocument(std::shared_ptr<NSDocument> document) {
    if (!document) return;
    const std::lock_guard lock(mutex_);
    if (std::find(documents_.begin(), documents_.end(), document) == documents_.end())
        documents_.push_back(std::move(document));
}

void NSDocumentController::removeDocument(const std::shared_ptr<NSDocument>& document) {
    const std::lock_guard lock(mutex_);
    std::erase(documents_, document);
}
