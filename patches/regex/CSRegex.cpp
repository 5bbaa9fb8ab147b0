#include "CSRegex.h"

#include "CSRegexException.h"
#include "platform/foundation/UTF8.h"

namespace {

StringRef pieceOf(const std::string& subject, const regmatch_t& slot) {
    return newString(decodeUTF8Lossy(std::string_view(subject).substr(
        static_cast<size_t>(slot.rm_so), static_cast<size_t>(slot.rm_eo - slot.rm_so))));
}

}  // namespace

CSRegex::CSRegex(const std::string& pattern, int options) {
    const int err = regcomp(&preg, pattern.c_str(), options | REG_EXTENDED);
    if (err != 0) {
        char errbuf[256];
        regerror(err, &preg, errbuf, sizeof errbuf);
        throw CSRegexException("Could not compile regex \"" + pattern + "\": " + errbuf);
    }
}

CSRegex::~CSRegex() { regfree(&preg); }

std::unique_ptr<CSRegex> CSRegex::regexWithPattern(const std::string& pattern, int options) {
    return std::make_unique<CSRegex>(pattern, options);
}

const StringRef& CSRegex::null() {
    // Made once, on first use, and kept for the life of the process.
    static const StringRef nullstring = newString("");
    return nullstring;
}

bool CSRegex::matchesString(const std::string& string) const {
    return regexec(&preg, string.c_str(), 0, nullptr, 0) == 0;
}

StringRef CSRegex::matchedSubstringOfString(const std::string& string) const {
    regmatch_t slot[1];
    if (regexec(&preg, string.c_str(), 1, slot, 0) != 0) return nullptr;
    return pieceOf(string, slot[0]);
}

std::optional<std::vector<StringRef>> CSRegex::capturedSubstringsOfString(const std::string& string) const {
    const size_t num = preg.re_nsub + 1;
    std::vector<regmatch_t> slots(num, regmatch_t{});
    if (regexec(&preg, string.c_str(), num, slots.data(), 0) != 0) return std::nullopt;
    std::vector<StringRef> pieces;
    pieces.reserve(num);
    for (const regmatch_t& slot : slots)
        pieces.push_back(slot.rm_so == -1 && slot.rm_eo == -1 ? null() : pieceOf(string, slot));
    return pieces;
}
