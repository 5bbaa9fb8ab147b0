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

    QCStringPort inputFilter{this, "inputFilter"};
    QCBooleanPort outputStartSignal{this, "outputStartSignal"};
    QCBooleanPort outputStopSignal{this, "outputStopSignal"};
    QCBooleanPort outputContinueSignal{this, "outputContinueSignal"};
    QCNumberPort outputMeasures{this, "outputMeasures"};
    QCIndexPort outputBeats{this, "outputBeats"};

private:
    std::string filterText() const;

    std::optional<std::string> portFilter;
};

// Read callback: Timing Clock, Start, Continue and Stop into the clock values.
void TembraMIDIClockReadProc(const MIDIPacketList* pktlist, void* readProcRefCon, void* srcConnRefCon);
