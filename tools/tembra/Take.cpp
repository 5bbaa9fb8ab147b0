#include "Take.h"

#include "platform/foundation/RegularFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// One line of a take; false when it is no record.
bool parseLine(std::string_view piece, nlohmann::json* out) {
    *out = nlohmann::json::parse(piece, nullptr, false);
    return !out->is_discarded() && out->is_object();
}

}  // namespace

std::optional<Take> Take::read(const std::string& path, std::string* error) {
    const auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return std::nullopt;
    };
    std::string openError;
    const FileDescriptor file = openRegularFile(path, &openError);
    if (!file) return fail("cannot replay " + openError);

    Take take;
    take.path = path;
    size_t line = 0;
    std::string carry;  // a line begun in an earlier chunk
    std::vector<char> chunk(1 << 20);
    const auto take_line = [&](std::string_view piece) -> bool {
        ++line;
        nlohmann::json json;
        if (!parseLine(piece, &json)) {
            fail(path + ": line " + std::to_string(line) + " is not a record of a take (a JSON object)");
            return false;
        }
        if (line == 1) {
            if (!json.contains("take") || !json["take"].is_number_integer()) {
                fail(path + ": not a take: its first line has no \"take\" version");
                return false;
            }
            if (json["take"].get<int>() != kVersion) {
                fail(path + ": take version " + json["take"].dump() + " is not known to this tembra (it reads " +
                     std::to_string(kVersion) + ")");
                return false;
            }
            take.header = std::move(json);
            return true;
        }
        take.records.push_back(Record{line, std::move(json)});
        return true;
    };
    for (;;) {
        const ssize_t n = ::read(file.get(), chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail("cannot read the take " + path + ": " + std::strerror(errno));
        if (n == 0) break;
        std::string_view data(chunk.data(), static_cast<size_t>(n));
        for (size_t end; (end = data.find('\n')) != std::string_view::npos; data.remove_prefix(end + 1)) {
            bool ok;
            if (carry.empty()) {
                ok = take_line(data.substr(0, end));
            } else {
                carry.append(data.substr(0, end));
                ok = take_line(carry);
                carry.clear();
            }
            if (!ok) return std::nullopt;
        }
        carry.append(data);
    }
    // What follows the last newline was cut short by a crash.
    take.cut = !carry.empty();
    if (take.header.is_null())
        return fail(path + (take.cut ? ": not a take: it has no whole first line with a \"take\" version"
                                     : ": not a take: it is empty"));
    return take;
}
