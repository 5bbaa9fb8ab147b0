#include "LaunchServices.h"

#include "ContentSniffer.h"
#include "NSURL.h"

#include <sys/stat.h>

namespace {

std::optional<std::string> extensionOfName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return std::nullopt;
    return name.substr(dot + 1);
}

// The path without trailing slashes (but "/" stays "/").
std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

bool CFURLGetFSRef(const NSURL* url, FSRef* ref) {
    if (!url || !ref || !url->isFileURL()) return false;
    if (!url->host().empty() && url->host() != "localhost") return false;
    const std::string& path = url->path();
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    ref->path = withoutTrailingSlashes(path);
    return true;
}

OSStatus LSCopyItemInfoForRef(const FSRef& ref, uint32_t whichInfo, LSItemInfoRecord* outInfo) {
    if (!outInfo) return paramErr;
    struct stat info {};
    if (::stat(ref.path.c_str(), &info) != 0) return fnfErr;
    const auto extension = extensionOfName(ref.path);
    if (whichInfo & kLSRequestExtension) outInfo->extension = extension;
    if (whichInfo & kLSRequestTypeCreator) {
        outInfo->filetype = 0;
        outInfo->creator = 0;
        if (!extension) {
            if (S_ISDIR(info.st_mode))
                outInfo->filetype = UTGetOSTypeFromString("fold");
            else if (const auto mime = ContentSniffer::mimeTypeOfFile(ref.path))
                outInfo->filetype = UTTypeOSTypeForMIMEType(*mime);
        }
    }
    return noErr;
}
