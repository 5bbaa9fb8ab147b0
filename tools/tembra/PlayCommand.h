#pragma once

#include "tools/tembra/Options.h"

#include <string>

struct PlayOptions {
    RunOptions session;     // file, --set, --watch, --save, --show, --print-midi, --fps, --frames
    std::string size;       // "WxH"; empty: the document's render size
    bool fullscreen = false;
    std::string snapshot;   // PNG pattern for what the window shows; empty: none
};

// Plays the composition in a window until it is closed (or --frames are
// shown); returns the exit status. Throws like runComposition.
int playComposition(const PlayOptions& options);
