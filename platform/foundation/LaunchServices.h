#pragma once

#include "UTType.h"

#include <cstdint>
#include <optional>
#include <string>

class NSURL;

// Resolving file system items named by URLs, and what is known about them.

using OSStatus = int32_t;
inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus fnfErr = -43;  // the item is gone
inline constexpr OSStatus paramErr = -50;

// A resolved, existing item.
struct FSRef {
    std::string path;
};

// True only when `url` is a file: URL (no host, or localhost) naming an
// existing item, whose reference it fills in.
bool CFURLGetFSRef(const NSURL* url, FSRef* ref);

inline constexpr uint32_t kLSRequestExtension = 1;
inline constexpr uint32_t kLSRequestTypeCreator = 2;

struct LSItemInfoRecord {
    OSType filetype = 0;
    OSType creator = 0;
    // The filename extension, or nothing when the name has none (a leading
    // dot, as in ".profile", starts no extension).
    std::optional<std::string> extension;
};

// Fills in the information asked for. The type code of an item whose name
// has an extension is 0; otherwise it comes from the item's content: a
// folder is 'fold', a file's sniffed MIME type gives the code of the
// matching type. Returns noErr, fnfErr when the item has gone, or paramErr.
OSStatus LSCopyItemInfoForRef(const FSRef& ref, uint32_t whichInfo, LSItemInfoRecord* outInfo);
