#pragma once

#include <string>
#include <vector>

// One OSC message as the patches use it: its address, every argument as
// text, and the first argument as a number where it is one.
struct OSCMessage {
    std::string address;
    std::vector<std::string> arguments;
    bool hasNumber = false;  // the first argument is a number, a boolean or numeric text
    double number = 0;
};
