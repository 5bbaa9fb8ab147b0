#pragma once

#include <cstddef>
#include <memory>
#include <string>

// Limits on fetching a URL, all in one place.
struct URLFetchLimits {
    static constexpr const char* allowedProtocols = "http,https,ftp,file";
    // A server may send the reader on only to another web address: a
    // redirect to file: would hand a web page the user's local files.
    static constexpr const char* allowedRedirectProtocols = "http,https";
    static constexpr long connectTimeoutSeconds = 10;
    static constexpr long totalTimeoutSeconds = 30;
    static constexpr long maxRedirects = 5;
    static constexpr size_t maxBodyBytes = size_t{64} << 20;  // 64 MiB
};

// An absolute URL. Made only from text that parses as one.
class NSURL {
public:
    // Nothing for text that is not an absolute URL (empty text, spaces,
    // no scheme, ...).
    static std::unique_ptr<NSURL> URLWithString(const std::string& text);
    // The file: URL of an absolute path, its bytes percent-encoded except
    // unreserved characters and '/'. Nothing for a relative path.
    static std::unique_ptr<NSURL> fileURLWithPath(const std::string& path);

    const std::string& absoluteString() const { return text_; }
    const std::string& scheme() const { return scheme_; }
    // The host name ("" when there is none, as in file:///tmp).
    const std::string& host() const { return host_; }
    // The path with percent-escapes decoded ("" when there is none).
    const std::string& path() const { return path_; }
    bool isFileURL() const { return scheme_ == "file"; }

private:
    NSURL(std::string text, std::string scheme, std::string path);
    std::string text_, scheme_, path_, host_;
};

// The bytes of the resource, or nothing when it cannot be fetched within the
// limits (connection failures, HTTP errors, too many redirects, a body over
// the size cap, a protocol not allowed, a redirect to anything but http or
// https). A file: URL names a local regular file, read like any other file
// the user names (FIFOs and devices refused, with one log line).
std::unique_ptr<std::string> fetchURLBytes(const NSURL& url);
