#include "platform/input/KeyNames.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace KeyNames {

namespace {

std::vector<std::string> makeNames() {
    std::vector<std::string> names = {
        "space", "return", "escape", "tab", "backspace", "delete", "insert", "home", "end", "pageup",
        "pagedown", "left", "right", "up", "down", "capslock", "left shift", "right shift", "left ctrl",
        "right ctrl", "left alt", "right alt", "left gui", "right gui", "-", "=", "[", "]", "\\", ";",
        "'", ",", ".", "/", "`", "keypad enter", "keypad +", "keypad -", "keypad *", "keypad /", "keypad .",
    };
    for (char c = 'a'; c <= 'z'; ++c) names.emplace_back(1, c);
    for (char c = '0'; c <= '9'; ++c) {
        names.emplace_back(1, c);
        names.push_back(std::string("keypad ") + c);
    }
    for (int f = 1; f <= 24; ++f) names.push_back("f" + std::to_string(f));
    return names;
}

}  // namespace

std::string normal(const std::string& name) {
    std::string lower;
    for (unsigned char c : name) lower += static_cast<char>(std::tolower(c));
    static const std::pair<const char*, const char*> aliases[] = {
        {"esc", "escape"}, {"enter", "return"},   {" ", "space"},         {"shift", "left shift"},
        {"ctrl", "left ctrl"}, {"alt", "left alt"}, {"page up", "pageup"}, {"page down", "pagedown"},
    };
    for (const auto& [alias, key] : aliases)
        if (lower == alias) return key;
    return lower;
}

const std::vector<std::string>& all() {
    static const std::vector<std::string> names = makeNames();
    return names;
}

bool known(const std::string& name) {
    const auto& names = all();
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace KeyNames
