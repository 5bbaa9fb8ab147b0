#pragma once

#include "host/QCPatch.h"
#include "platform/midi/CoreMIDI.h"

#include <optional>

// Follows the MIDI beat clock of the sources whose names contain
// inputFilter: counts Timing Clocks between Start and Stop, shows the count
// as beats and 4/4 measures, and raises one-evaluation signals for Start,
// Stop and Continue.
class TembraMIDIClock : public QCPatch {
public:
    static constexpr const char* className = "TembraMIDIClock";
    static constexpr const char* classDescription =
        "Follows MIDI clock: start, stop and continue signals, beats and measures.";
    static int executionMode() { return 2; }

    explicit TembraMIDIClock(const std::string& identifier);
    ~TembraMIDIClock() override;
    void enable(QCContext* context) override;
    void disable(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    // Listens to the sources the filter selects now, in place of those
    // selected before; disconnecting ends the listening.
    void connectMIDISources();
    void disconnectMIDISources();

    QCStringPort inputFilter{this, "inputFilter",
        {.description = "text that a MIDI source name must contain; empty listens to every source"}};
    QCBooleanPort outputStartSignal{this, "outputStartSignal",
        {.description = "true for one frame after a Start"}};
    QCBooleanPort outputStopSignal{this, "outputStopSignal",
        {.description = "true for one frame after a Stop"}};
    QCBooleanPort outputContinueSignal{this, "outputContinueSignal",
        {.description = "true for one frame after a Continue"}};
    QCNumberPort outputMeasures{this, "outputMeasures",
        {.description = "measures since Start (clocks divided by 96, with fractions)"}};
    QCIndexPort outputBeats{this, "outputBeats",
        {.description = "whole beats since Start (clocks divided by 24)"}};

private:
    std::string filterText() const;

    std::optional<std::string> portFilter;
};

// Read callback: Timing Clock, Start, Continue and Stop into the clock values.
void TembraMIDIClockReadProc(const MIDIPacketList* pktlist, void* readProcRefCon, void* srcConnRefCon);
