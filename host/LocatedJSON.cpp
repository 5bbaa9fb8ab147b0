#include "LocatedJSON.h"

#include <cctype>
#include <cstring>
#include <iterator>
#include <memory>
#include <unordered_set>

namespace {

using json = nlohmann::ordered_json;
// The vector an ordered object is made of: members appended to it directly
// keep their order without the object's own linear search for the key,
// since the builder has already checked that the key is new.
using Members = json::object_t::Container;

// Hands the parser the text one byte at a time and records how far it has
// read: at each parser event the current token ends there (a number is
// followed by one byte of look-ahead).
class CountingIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountingIterator(const char* at, const char** reached) : at_(at), reached_(reached) {}
    reference operator*() const { return *at_; }
    CountingIterator& operator++() {
        *reached_ = ++at_;
        return *this;
    }
    CountingIterator operator++(int) {
        CountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const CountingIterator& other) const { return at_ == other.at_; }
    bool operator!=(const CountingIterator& other) const { return at_ != other.at_; }

private:
    const char* at_;
    const char** reached_;
};

std::string cutAtCharacter(const std::string& text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;  // not inside a UTF-8 sequence
    return text.substr(0, end) + "...";
}

class Builder {
public:
    Builder(const std::string& text, const char* const& reached, size_t maxDepth, json& root, JSONLines& rootLines)
        : text_(text), reached_(reached), maxDepth_(maxDepth), root_(root), rootLines_(rootLines) {}

    bool null() { return add(nullptr, tokenEnd()); }
    bool boolean(bool value) { return add(value, tokenEnd()); }
    bool number_integer(json::number_integer_t value) { return add(value, numberEnd()); }
    bool number_unsigned(json::number_unsigned_t value) { return add(value, numberEnd()); }
    bool number_float(json::number_float_t value, const std::string&) { return add(value, numberEnd()); }
    bool string(std::string& value) { return add(std::move(value), tokenEnd()); }
    bool binary(json::binary_t&) { return fail(tokenEnd(), "binary values are not JSON"); }

    bool start_object(std::size_t) { return open(json::value_t::object); }
    bool start_array(std::size_t) { return open(json::value_t::array); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(std::string& key) {
        Frame& frame = stack_.back();
        pendingKeyLine_ = lineAt(tokenEnd());
        if (isRepeated(frame, key))
            return fail(tokenEnd(), "key " + quotedShort(key) + " is given twice in one object");
        pendingKey_ = std::move(key);
        return true;
    }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) {
        size_t at = std::min(position > 0 ? position - 1 : 0, text_.size());
        if (at == text_.size()) {
            // Cut short: the fault is where the text stops.
            while (at > 0 && std::isspace(static_cast<unsigned char>(text_[at - 1]))) --at;
            if (at > 0) --at;
        }
        // "[json.exception.parse_error.101] parse error at line 3, column 5: what" -> "what"
        const std::string what = e.what();
        const size_t colon = what.find(": ");
        return fail(
            at, "malformed JSON: " + cutAtCharacter(colon == std::string::npos ? what : what.substr(colon + 2), 160));
    }

    const std::optional<JSONTextError>& error() const { return error_; }

private:
    struct Frame {
        json* value;
        JSONLines* lines;
        // The keys of a big object, to find one given twice in constant time.
        std::unique_ptr<std::unordered_set<std::string>> keys;
    };

    static bool isRepeated(Frame& frame, const std::string& key) {
        constexpr size_t kSmall = 16;
        const auto& members = static_cast<const Members&>(frame.value->get_ref<const json::object_t&>());
        if (!frame.keys && members.size() < kSmall) {
            for (const auto& member : members)
                if (member.first == key) return true;
            return false;
        }
        if (!frame.keys) {
            frame.keys = std::make_unique<std::unordered_set<std::string>>();
            for (const auto& member : members) frame.keys->insert(member.first);
        }
        return !frame.keys->insert(key).second;
    }

    size_t consumed() const { return static_cast<size_t>(reached_ - text_.data()); }
    size_t tokenEnd() const { return consumed() > 0 ? consumed() - 1 : 0; }
    size_t numberEnd() const {
        size_t at = tokenEnd();
        const char c = text_[at];
        if (at > 0 && !(std::isdigit(static_cast<unsigned char>(c)) || std::strchr("+-.eE", c))) --at;
        return at;
    }

    // 1-based line of byte `at`; the bytes asked for only move forward but
    // for a byte of look-ahead, so counting as we go is linear overall.
    int lineAt(size_t at) {
        at = std::min(at, text_.size());
        while (counted_ < at)
            if (text_[counted_++] == '\n') ++line_;
        while (counted_ > at)
            if (text_[--counted_] == '\n') --line_;
        return line_;
    }

    bool fail(size_t at, const std::string& message) {
        if (!error_) error_.emplace(lineAt(at), message);
        return false;
    }

    // Adds a value where the parser is; returns false on a fault.
    template <typename Value>
    bool add(Value&& value, size_t at, Frame* opened = nullptr) {
        const int line = lineAt(at);
        json* added = nullptr;
        JSONLines* lines = nullptr;
        if (stack_.empty()) {
            root_ = json(std::forward<Value>(value));
            rootLines_ = JSONLines{line, 0, {}};
            added = &root_;
            lines = &rootLines_;
        } else {
            Frame& parent = stack_.back();
            if (parent.value->is_array()) {
                auto& elements = parent.value->get_ref<json::array_t&>();
                elements.emplace_back(std::forward<Value>(value));
                added = &elements.back();
                parent.lines->items.push_back(JSONLines{line, 0, {}});
            } else {
                auto& members = static_cast<Members&>(parent.value->get_ref<json::object_t&>());
                members.emplace_back(std::move(pendingKey_), json(std::forward<Value>(value)));
                added = &members.back().second;
                parent.lines->items.push_back(JSONLines{line, pendingKeyLine_, {}});
            }
            lines = &parent.lines->items.back();
        }
        if (opened) {
            opened->value = added;
            opened->lines = lines;
        }
        return true;
    }

    bool open(json::value_t type) {
        if (stack_.size() >= maxDepth_)
            return fail(tokenEnd(), "values are nested deeper than " + std::to_string(maxDepth_) + " levels");
        Frame frame{nullptr, nullptr, {}};
        add(type, tokenEnd(), &frame);
        // Pointers into the parent stay valid: a parent gains no other
        // member until this container is closed.
        stack_.push_back(std::move(frame));
        return true;
    }

    bool close() {
        stack_.pop_back();
        return true;
    }

    const std::string& text_;
    const char* const& reached_;
    const size_t maxDepth_;
    json& root_;
    JSONLines& rootLines_;
    std::vector<Frame> stack_;
    std::string pendingKey_;
    int pendingKeyLine_ = 0;
    size_t counted_ = 0;
    int line_ = 1;
    std::optional<JSONTextError> error_;
};

}  // namespace

void parseJSONWithLines(const std::string& text, size_t maxDepth, nlohmann::ordered_json& value, JSONLines& lines) {
    const char* reached = text.data();
    json parsed;
    JSONLines parsedLines;
    Builder builder(text, reached, maxDepth, parsed, parsedLines);
    const CountingIterator first(text.data(), &reached), last(text.data() + text.size(), &reached);
    if (!json::sax_parse(first, last, &builder)) {
        if (builder.error()) throw *builder.error();
        throw JSONTextError(1, "malformed JSON");
    }
    value = std::move(parsed);
    lines = std::move(parsedLines);
}

LocatedValue LocatedValue::item(size_t index) const {
    if (value_->is_array()) return LocatedValue((*value_)[index], lines_->items.at(index));
    const auto& members = static_cast<const Members&>(value_->get_ref<const json::object_t&>());
    return LocatedValue(members.at(index).second, lines_->items.at(index));
}

const std::string& LocatedValue::key(size_t index) const {
    const auto& members = static_cast<const Members&>(value_->get_ref<const json::object_t&>());
    return members.at(index).first;
}

std::optional<LocatedValue> LocatedValue::member(const std::string& key) const {
    if (!value_->is_object()) return std::nullopt;
    const auto& members = static_cast<const Members&>(value_->get_ref<const json::object_t&>());
    for (size_t i = 0; i < members.size(); ++i)
        if (members[i].first == key) return LocatedValue(members[i].second, lines_->items.at(i));
    return std::nullopt;
}

std::string quotedShort(const std::string& text, size_t limit) {
    return json(cutAtCharacter(text, limit)).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string dumpShort(const nlohmann::ordered_json& value, size_t limit) {
    return cutAtCharacter(value.dump(-1, ' ', false, json::error_handler_t::replace), limit);
}
