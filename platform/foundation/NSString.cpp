#include "NSString.h"

#include "NSURL.h"
#include "UTF8.h"

#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

std::optional<std::string> decoded(std::string bytes, int encoding) {
    if (encoding != NSUTF8StringEncoding || !isValidUTF8(bytes)) return std::nullopt;
    return bytes;
}

}  // namespace

std::optional<std::string> stringWithContentsOfFile(const std::string& path, int encoding) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return decoded(std::move(bytes), encoding);
}

std::optional<std::string> stringWithContentsOfURL(const NSURL* url, int encoding) {
    if (url == nullptr) return std::nullopt;
    std::unique_ptr<std::string> bytes = fetchURLBytes(*url);
    if (!bytes) return std::nullopt;
    return decoded(std::move(*bytes), encoding);
}
