#pragma once

#include "NSDate.h"
#include "NSURL.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

// A document the host has open: a file it was read from, or a new document
// that has never been saved.
class NSDocument {
public:
    // A document read from `path` (made absolute). Its modification date is
    // the file's at this moment; none when the file cannot be examined.
    static std::shared_ptr<NSDocument> documentWithContentsOfFile(const std::string& path);
    // A new document without a file.
    static std::shared_ptr<NSDocument> untitledDocument();

    // The file name without its extension; "Untitled" without a file.
    std::string displayName() const;
    std::optional<NSDate> fileModificationDate() const { return modificationDate_; }
    // The absolute path of the file, or nothing.
    std::optional<std::string> fileName() const { return fileName_; }
    // The file's file: URL, or nothing.
    std::unique_ptr<NSURL> fileURL() const;
    // True while the host holds changes not saved to the file.
    bool isDocumentEdited() const { return edited_; }
    void setDocumentEdited(bool edited) { edited_ = edited; }

    NSDocument(std::optional<std::string> fileName, std::optional<NSDate> modificationDate);

private:
    const std::optional<std::string> fileName_;
    const std::optional<NSDate> modificationDate_;
    std::atomic<bool> edited_{false};
};
