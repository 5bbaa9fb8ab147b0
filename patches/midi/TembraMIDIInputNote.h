#pragma once

#include "host/QCPatch.h"
#include "platform/midi/CoreMIDI.h"

// Reports whether one note on one channel is held, and the velocity it was
// struck or released with, as heard from every MIDI source present when the
// patch was made.
class TembraMIDIInputNote : public QCPatch {
public:
    static constexpr const char* className = "TembraMIDIInputNote";
    static int executionMode() { return 2; }

    explicit TembraMIDIInputNote(const std::string& identifier);
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCIndexPort inputChannel{this, "inputChannel"};
    QCIndexPort inputNote{this, "inputNote"};
    QCIndexPort outputVelocity{this, "outputVelocity"};
    QCBooleanPort outputGate{this, "outputGate"};
};

// Read callback: stores Note On and Note Off in the process-wide tables.
void TembraMIDIInputNoteReadProc(const MIDIPacketList* pktlist, void* readProcRefCon, void* srcConnRefCon);
