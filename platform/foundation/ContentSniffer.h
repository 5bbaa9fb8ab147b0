#pragma once

#include <optional>
#include <string>

// Names the kind of a file's content from its bytes (libmagic).
class ContentSniffer {
public:
    // The MIME type of the item at `path` ("image/png", "inode/directory"),
    // or nothing when the content cannot be examined. The first time libmagic
    // cannot be used, one log line says so.
    static std::optional<std::string> mimeTypeOfFile(const std::string& path);
};
