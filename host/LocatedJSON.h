#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Where each value of a parsed JSON text is: a tree parallel to the value.
struct JSONLines {
    int line = 0;                  // the value's first character (1-based)
    int keyLine = 0;               // the member's key, for a member of an object
    std::vector<JSONLines> items;  // elements, or members in document order
};

// Malformed JSON, nesting deeper than allowed, or a key given twice in one
// object; `line` is where the fault is.
class JSONTextError : public std::runtime_error {
public:
    JSONTextError(int line, const std::string& message) : std::runtime_error(message), line(line) {}
    int line;
};

// Parses `text` into `value` and the line of every value into `lines`.
// Containers nested deeper than `maxDepth` are refused while parsing, so
// nothing later recurses over an unbounded value. Throws JSONTextError.
void parseJSONWithLines(const std::string& text, size_t maxDepth, nlohmann::ordered_json& value, JSONLines& lines);

// A value of a parsed text together with its lines.
class LocatedValue {
public:
    LocatedValue(const nlohmann::ordered_json& value, const JSONLines& lines) : value_(&value), lines_(&lines) {}

    const nlohmann::ordered_json& json() const { return *value_; }
    const JSONLines& lines() const { return *lines_; }
    int line() const { return lines_->line; }
    // Of the key, for a member of an object; otherwise of the value.
    int keyLine() const { return lines_->keyLine > 0 ? lines_->keyLine : lines_->line; }

    // Elements of an array or members of an object, in document order.
    size_t size() const { return lines_->items.size(); }
    LocatedValue item(size_t index) const;
    // The key of member `index` of an object.
    const std::string& key(size_t index) const;
    // The member named `key` of an object, or nothing.
    std::optional<LocatedValue> member(const std::string& key) const;

private:
    const nlohmann::ordered_json* value_;
    const JSONLines* lines_;
};

// `text` as a JSON string for a message, cut short after about `limit`
// bytes so that no message carries a whole value.
std::string quotedShort(const std::string& text, size_t limit = 60);
// A value for a message, likewise cut short.
std::string dumpShort(const nlohmann::ordered_json& value, size_t limit = 60);
