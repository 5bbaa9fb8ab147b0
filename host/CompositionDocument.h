#pragma once

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <vector>

// A fault in a composition document, naming the file and, where known, the
// line: "FILE:LINE: what is wrong".
class CompositionError : public std::runtime_error {
public:
    CompositionError(const std::string& file, int line, const std::string& message);
};

struct PatchSpec {
    std::string id;
    std::string className;
    nlohmann::ordered_json inputs;  // port name -> value, in document order
    nlohmann::ordered_json json;    // the whole entry, for class-specific keys
    int line = 0;
};

struct ConnectionSpec {
    std::string fromId, fromPort, toId, toPort;
    int line = 0;
};

// A composition file: patch instances with their input values, connections
// between ports, the render size, and whatever else the host reads from it.
// load() checks the document's own shape (JSON syntax, required keys,
// duplicate ids); what depends on the patch classes is checked when a graph
// is built from it.
struct CompositionDocument {
    std::string path;       // as given
    std::string directory;  // folder of the file, for relative paths inside it
    std::string text;
    nlohmann::ordered_json json;
    int renderWidth = 640;
    int renderHeight = 480;
    std::vector<PatchSpec> patches;
    std::vector<ConnectionSpec> connections;

    static CompositionDocument load(const std::string& path);
    static CompositionDocument parse(const std::string& text, const std::string& path);

    // Line (1-based) of the first occurrence of `needle` at or after byte
    // `from`, or 0 when absent.
    int lineOf(const std::string& needle, size_t from = 0) const;
    // Line of the JSON value `value` given for key `key` (e.g. "id": "fire").
    int lineOfKeyValue(const std::string& key, const std::string& value, size_t from = 0) const;
    const PatchSpec* patchWithId(const std::string& id) const;
    [[noreturn]] void fail(int line, const std::string& message) const;
};
