#pragma once

#include "LocatedJSON.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
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
    JSONLines lines;                // where the entry and its values are
    int line = 0;                   // of the entry's id

    LocatedValue entry() const { return LocatedValue(json, lines); }
};

// A connection's "map": the source's range (given, or the source port's own)
// onto the target's, clamped, through pow(x, curve) on the value scaled to 0..1.
struct ValueMap {
    bool hasFrom = false;
    double fromMin = 0, fromMax = 1;
    double toMin = 0, toMax = 1;
    double curve = 1;
    int line = 0;  // of "map"
};

struct ConnectionSpec {
    std::string fromId, fromPort, toId, toPort;
    int line = 0;    // of "from"
    int toLine = 0;  // of "to"
    std::optional<ValueMap> map;
};

// A composition file: patch instances with their input values, connections
// between ports, the render size, and whatever else the host reads from it.
// parse() checks the document's own shape (JSON syntax, nesting, known keys
// at every level, required keys, duplicate ids); what depends on the patch
// classes is checked when a graph is built from it.
struct CompositionDocument {
    // Far beyond any composition; bigger texts are refused before parsing.
    static constexpr size_t kMaxTextBytes = 16 * 1024 * 1024;
    // Likewise for nesting, which nothing then has to recurse over.
    static constexpr size_t kMaxDepth = 256;

    std::string path;       // as given
    std::string directory;  // folder of the file, for relative paths inside it
    std::string text;
    nlohmann::ordered_json json;
    JSONLines lines;  // where each value of `json` is in `text`
    int renderWidth = 640;
    int renderHeight = 480;
    std::vector<PatchSpec> patches;
    std::vector<ConnectionSpec> connections;

    static CompositionDocument load(const std::string& path);
    static CompositionDocument parse(const std::string& text, const std::string& path);

    LocatedValue root() const { return LocatedValue(json, lines); }
    const PatchSpec* patchWithId(const std::string& id) const;
    [[noreturn]] void fail(int line, const std::string& message) const;
};
