#include "tools/tembra/editor/DocumentWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

Json ordered(const Json& object, std::initializer_list<const char*> order) {
    if (!object.is_object()) return object;
    Json out = Json::object();
    for (const char* key : order)
        if (object.contains(key)) out[key] = object[key];
    for (const auto& [key, value] : object.items())
        if (!out.contains(key)) out[key] = value;
    return out;
}

}  // namespace

std::string formatDocument(const Json& document) {
    Json root = ordered(document, {"renderSize", "patches", "connections", "midiSources", "midiDestinations"});
    if (root.contains("patches") && root["patches"].is_array())
        for (Json& patch : root["patches"])
            patch = ordered(patch, {"id", "class", "name", "sourceType", "source", "parameters", "inputs", "editor"});
    if (root.contains("connections") && root["connections"].is_array())
        for (Json& connection : root["connections"]) connection = ordered(connection, {"from", "to", "map"});
    return root.dump(2) + "\n";
}

bool writeFileAtomically(const std::string& path, const std::string& text, std::string* error) {
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    const auto fail = [&](const std::string& what) {
        if (error) *error = path + ": " + what + ": " + std::strerror(errno);
        return false;
    };
    const int fd = mkstemp(name.data());
    if (fd < 0) return fail("cannot write a temporary file beside it");
    temporary = name.data();
    // The new file keeps the old one's permissions.
    struct stat old{};
    fchmod(fd, stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int saved = errno;
            close(fd);
            unlink(temporary.c_str());
            errno = saved;
            return fail("cannot write");
        }
        written += static_cast<size_t>(n);
    }
    const bool synced = fsync(fd) == 0;
    if (close(fd) != 0 || !synced) {
        const int saved = errno;
        unlink(temporary.c_str());
        errno = saved;
        return fail("cannot write");
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        unlink(temporary.c_str());
        errno = saved;
        return fail("cannot replace");
    }
    return true;
}
