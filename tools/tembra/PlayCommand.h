#pragma once

#include "tools/tembra/Options.h"

#include <ostream>
#include <string>

struct PlayOptions {
    RunOptions session;     // file, --set, --watch, --save, --show, --print-midi, --fps, --frames
    std::string size;       // "WxH"; empty: the document's render size
    bool fullscreen = false;
    bool overlay = false;  // errors on the picture in full screen too
    int display = -1;       // SDL display index; -1: where the system puts windows
    std::string snapshot;   // PNG pattern for what the window shows; empty: none
};

// Plays the composition in a window until it is closed (or --frames are
// shown); returns the exit status. Throws like runComposition.
int playComposition(const PlayOptions& options);

// --list-displays: one line a display, "INDEX WIDTHxHEIGHT NAME"; returns the
// exit status. Throws std::runtime_error when there is no display.
int printDisplays(std::ostream& out);

// Thrown while the command line is read, when --list-displays asks for the
// list instead of a play.
struct DisplayListAsked {};
