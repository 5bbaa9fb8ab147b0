#pragma once

#include "host/QCPatch.h"

#include <deque>
#include <utility>

// Processor: the tempo and the phase of the beat and the measure from a
// MIDI clock's measure count, so that a drummer's clock can drive waves and
// flashes that move smoothly between clock messages.
class Tempo : public QCPatch {
public:
    static constexpr const char* className = "Tempo";
    static constexpr const char* classDescription =
        "Tempo, beat and measure phase and a trigger per beat from TembraMIDIClock.outputMeasures.";
    static int executionMode() { return 3; }
    static int timeModeWithIdentifier(const std::string&) { return 1; }

    explicit Tempo(const std::string& identifier) : QCPatch(identifier) {}
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCNumberPort inputMeasures{this, "inputMeasures",
        {.description = "measures since Start, from TembraMIDIClock.outputMeasures (4 beats each)"}};
    QCBooleanPort inputStart{this, "inputStart",
        {.description = "a clock's Start signal: the count begins again"}};
    QCBooleanPort inputStop{this, "inputStop",
        {.description = "a clock's Stop signal: the phases hold until the clock moves again"}};
    QCNumberPort outputBeatsPerMinute{this, "outputBeatsPerMinute",
        {.description = "the clock's tempo; 0 until two clock messages have come", .min = 0, .max = 300,
         .unit = "BPM"}};
    QCNumberPort outputBeatPhase{this, "outputBeatPhase",
        {.description = "how far into the beat, rising smoothly from 0 to 1", .min = 0, .max = 1}};
    QCNumberPort outputMeasurePhase{this, "outputMeasurePhase",
        {.description = "how far into the 4-beat measure, from 0 to 1", .min = 0, .max = 1}};
    QCBooleanPort outputBeat{this, "outputBeat", {.description = "true for one frame at every beat"}};

private:
    void restart();

    // (time the count was first seen, beats) for each change of the count
    // within the last few beats: the tempo is the slope of the line through them.
    std::deque<std::pair<double, double>> changes;
    double lastBeats = -1;
    double beatsPerSecond = 0;
    double intercept = 0;  // beats at time 0 on that line
    double shownBeats = 0;
    bool running = false;
    bool wasStart = false, wasStop = false;
};
