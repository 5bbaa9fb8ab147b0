#include "NSDocument.h"

#include <sys/stat.h>

#include <filesystem>

NSDocument::NSDocument(std::optional<std::string> fileName, std::optional<NSDate> modificationDate)
    : fileName_(std::move(fileName)), modificationDate_(modificationDate) {}

std::shared_ptr<NSDocument> NSDocument::documentWithContentsOfFile(const std::string& path) {
    std::error_code error;
    auto absolute = std::filesystem::absolute(path, error);
    if (error) absolute = path;
    const std::string fileName = absolute.lexically_normal().string();
    std::optional<NSDate> date;
    struct stat info {};
    if (::stat(fileName.c_str(), &info) == 0) date = NSDate::dateWithTimeIntervalSince1970(info.st_mtim.tv_sec);
    return std::make_shared<NSDocument>(fileName, date);
}

std::shared_ptr<NSDocument> NSDocument::untitledDocument() {
    return std::make_shared<NSDocument>(std::nullopt, std::nullopt);
}

std::string NSDocument::displayName() const {
    if (!fileName_) return "Untitled";
    return std::filesystem::path(*fileName_).stem().string();
}

std::unique_ptr<NSURL> NSDocument::fileURL() const {
    return fileName_ ? NSURL::fileURLWithPath(*fileName_) : nullptr;
}
