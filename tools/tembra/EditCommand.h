#pragma once

#include "tools/tembra/Options.h"

#include <string>

struct EditOptions {
    RunOptions session;  // file, --set, --watch, --save, --show, --print-midi, --fps, --frames
    std::string host = "127.0.0.1";
    unsigned short port = 0;  // 0: a free port
    bool open = false;        // ask the desktop's browser to open the page
};

// Plays the composition in real time (off screen) and serves the editor
// until Ctrl-C (or --frames); returns the exit status. Throws like
// runComposition.
int editComposition(const EditOptions& options);
