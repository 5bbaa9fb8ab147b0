#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// Options that `tembra run` and `tembra play` share, and those of run.
struct RunOptions {
    std::string file;
    long frames = -1;        // -1: not given
    double duration = -1.0;  // seconds; -1: not given
    double fps = 60.0;
    bool realtime = false;
    std::vector<std::string> sets;   // "id.port=value"
    std::vector<std::string> watches;  // "id.port"
    std::vector<std::string> saves;  // "id.port=PATTERN"
    bool printMIDI = false;  // print what virtual MIDI destinations receive
    std::string render;  // PNG file pattern for rendered frames; empty: none
    std::string show;    // image output "id.port" to show instead of the consumers' drawing; empty: none
    std::string record;  // video file for the frames and their sound; empty: none
    int recordQuality = 20;  // H.264's constant rate factor for --record
    std::string capture;  // take to write the live show to; empty: none
    std::string replay;   // take to play back (run); empty: none
    bool fpsGiven = false;  // --fps was given (a replay then leaves the take's frame times)
    std::string renderSize;  // WIDTHxHEIGHT to render at instead of the document's (run); empty: its own
    bool stats = false;  // print frame times and GPU transfers at the end
};

// A fault in what the user typed: exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
