#include "ContentSniffer.h"

#include "NSLog.h"

#include <magic.h>

#include <atomic>
#include <memory>

namespace {

struct MagicDeleter {
    void operator()(magic_set* cookie) const { magic_close(cookie); }
};
using MagicCookie = std::unique_ptr<magic_set, MagicDeleter>;

void reportUnavailable(const char* why) {
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true))
        NSLog("ContentSniffer: libmagic is not available (%s); items without an extension get no type code", why);
}

// A cookie is not safe to share between threads: one per thread, loaded once.
magic_set* cookieOfThisThread() {
    thread_local MagicCookie cookie;
    thread_local bool tried = false;
    if (!tried) {
        tried = true;
        MagicCookie opened(magic_open(MAGIC_MIME_TYPE | MAGIC_SYMLINK | MAGIC_ERROR));
        if (!opened) {
            reportUnavailable("magic_open failed");
        } else if (magic_load(opened.get(), nullptr) != 0) {
            reportUnavailable(magic_error(opened.get()) ? magic_error(opened.get()) : "no magic database");
        } else {
            cookie = std::move(opened);
        }
    }
    return cookie.get();
}

}  // namespace

std::optional<std::string> ContentSniffer::mimeTypeOfFile(const std::string& path) {
    magic_set* cookie = cookieOfThisThread();
    if (!cookie) return std::nullopt;
    const char* mime = magic_file(cookie, path.c_str());
    if (!mime) return std::nullopt;
    return std::string(mime);
}
