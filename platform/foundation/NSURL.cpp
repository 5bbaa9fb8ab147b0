#include "NSURL.h"

#include "NSLog.h"
#include "RegularFile.h"

#include <curl/curl.h>

#include <mutex>

namespace {

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlURLDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct CurlEasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct CurlStringDeleter {
    void operator()(char* s) const { curl_free(s); }
};

std::string part(CURLU* url, CURLUPart which, unsigned flags = 0) {
    char* raw = nullptr;
    if (curl_url_get(url, which, &raw, flags) != CURLUE_OK || raw == nullptr) return {};
    std::unique_ptr<char, CurlStringDeleter> owned(raw);
    return owned.get();
}

struct Body {
    std::string bytes;
    bool overCap = false;
};

size_t appendBody(char* data, size_t size, size_t count, void* context) {
    auto* body = static_cast<Body*>(context);
    const size_t n = size * count;
    if (body->bytes.size() + n > URLFetchLimits::maxBodyBytes) {
        body->overCap = true;
        return 0;  // makes libcurl stop with a write error
    }
    body->bytes.append(data, n);
    return n;
}

}  // namespace

NSURL::NSURL(std::string text, std::string scheme, std::string path)
    : text_(std::move(text)), scheme_(std::move(scheme)), path_(std::move(path)) {}

std::unique_ptr<NSURL> NSURL::URLWithString(const std::string& text) {
    if (text.empty()) return nullptr;
    for (unsigned char c : text)
        if (c <= 0x20 || c == 0x7F) return nullptr;
    initialiseCurlOnce();
    std::unique_ptr<CURLU, CurlURLDeleter> url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return nullptr;
    std::string scheme = part(url.get(), CURLUPART_SCHEME);
    if (scheme.empty()) return nullptr;
    std::string path = part(url.get(), CURLUPART_PATH, CURLU_URLDECODE);
    std::unique_ptr<NSURL> result(new NSURL(text, std::move(scheme), std::move(path)));
    result->host_ = part(url.get(), CURLUPART_HOST);
    return result;
}

std::unique_ptr<NSURL> NSURL::fileURLWithPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return nullptr;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string text = "file://";
    for (unsigned char c : path) {
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved || c == '/') {
            text += static_cast<char>(c);
        } else {
            text += '%';
            text += hex[c >> 4];
            text += hex[c & 0xF];
        }
    }
    return URLWithString(text);
}

namespace {

// libcurl reads a file: URL with blocking calls that its time limit does not
// cover, so a FIFO or /dev/stdin would hang it: local files go through the
// regular-file reader instead.
std::unique_ptr<std::string> readFileURL(const NSURL& url) {
    if (!url.host().empty() && url.host() != "localhost") return nullptr;
    std::string error;
    bool refused = false;
    auto bytes = readRegularFile(url.path(), URLFetchLimits::maxBodyBytes, &error, &refused);
    if (!bytes) {
        if (refused) NSLog("cannot read URL %s: %s", url.absoluteString().c_str(), error.c_str());
        return nullptr;
    }
    return std::make_unique<std::string>(std::move(*bytes));
}

}  // namespace

std::unique_ptr<std::string> fetchURLBytes(const NSURL& url) {
    if (url.isFileURL()) return readFileURL(url);
    initialiseCurlOnce();
    std::unique_ptr<CURL, CurlEasyDeleter> curl(curl_easy_init());
    if (!curl) return nullptr;
    Body body;
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.absoluteString().c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, URLFetchLimits::allowedProtocols);
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, URLFetchLimits::allowedRedirectProtocols);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, URLFetchLimits::maxRedirects);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, URLFetchLimits::connectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, URLFetchLimits::totalTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(URLFetchLimits::maxBodyBytes));
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(c) != CURLE_OK || body.overCap) return nullptr;
    return std::make_unique<std::string>(std::move(body.bytes));
}
