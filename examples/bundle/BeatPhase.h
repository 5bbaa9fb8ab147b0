#pragma once

#include "host/QCPatch.h"

// Where the music is within its beat and its bar, from composition time and
// a tempo: a ramp from 0 to 1 per beat, and the beat's number in the bar.
class BeatPhase : public QCPatch {
public:
    static constexpr const char* className = "BeatPhase";
    static constexpr const char* classDescription = "ramps from 0 to 1 once per beat at a tempo, and counts the beats of a bar";
    // A provider: runs once per frame, whatever is connected to it.
    static int executionMode() { return 2; }
    // Follows time: runs on every frame even when no input changed.
    static int timeModeWithIdentifier(const std::string&) { return 1; }

    explicit BeatPhase(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCNumberPort inputBPM{this, "inputBPM", {.description = "tempo", .min = 1, .max = 999, .unit = "BPM"}};
    QCIndexPort inputBeatsPerBar{this, "inputBeatsPerBar", {.description = "beats in a bar", .min = 1, .max = 64}};
    QCNumberPort outputPhase{this, "outputPhase", {.description = "0 at each beat, rising to 1 at the next"}};
    QCIndexPort outputBeat{this, "outputBeat", {.description = "the beat within the bar, from 0"}};
};
