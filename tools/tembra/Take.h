#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

// A take as read back: its header and its records, in the order written.
// A last line without its newline is a record cut short by a crash and is
// left out; any other line that is not a JSON object is an error.
struct Take {
    struct Record {
        size_t line;  // from 1, for messages
        nlohmann::json json;
    };
    std::string path;
    nlohmann::json header;
    std::vector<Record> records;
    bool cut = false;  // the take ended inside a record

    static constexpr int kVersion = 1;
    // Null, with `error` naming the take (and the line) and the cause.
    static std::optional<Take> read(const std::string& path, std::string* error);
};
