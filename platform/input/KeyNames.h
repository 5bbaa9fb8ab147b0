#pragma once

#include <string>
#include <vector>

// Key names as performers write them: SDL's key names in lower case
// ("space", "a", "1", "left", "return", "left shift", "keypad 1", "f5"),
// plus a few spellings people reach for ("esc", "enter", "ctrl").
namespace KeyNames {

// The name in its one spelling: lower case, aliases resolved. Not checked.
std::string normal(const std::string& name);
// Whether the (normal) name is a key a keyboard has.
bool known(const std::string& name);
// Every known name, for suggestions.
const std::vector<std::string>& all();

}  // namespace KeyNames
