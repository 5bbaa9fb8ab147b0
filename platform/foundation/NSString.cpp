#include "NSString.h"

#include "NSLog.h"
#include "NSURL.h"
#include "RegularFile.h"
#include "UTF8.h"

namespace {

std::optional<std::string> decoded(std::string bytes, int encoding) {
    if (encoding != NSUTF8StringEncoding || !isValidUTF8(bytes)) return std::nullopt;
    return bytes;
}

}  // namespace

std::optional<std::string> stringWithContentsOfFile(const std::string& path, int encoding) {
    // Text files get the same cap as fetched text. A file that cannot be
    // read says why, naming the path as given.
    std::string error;
    std::optional<std::string> bytes = readRegularFile(path, URLFetchLimits::maxBodyBytes, &error);
    if (!bytes) {
        NSLogProblem("cannot read text: %s", error.c_str());
        return std::nullopt;
    }
    return decoded(std::move(*bytes), encoding);
}

std::optional<std::string> stringWithContentsOfURL(const NSURL* url, int encoding) {
    if (url == nullptr) return std::nullopt;
    std::unique_ptr<std::string> bytes = fetchURLBytes(*url);
    if (!bytes) return std::nullopt;
    return decoded(std::move(*bytes), encoding);
}
