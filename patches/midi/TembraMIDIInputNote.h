#pragma once

#include "host/QCPatch.h"
#include "platform/midi/CoreMIDI.h"

// Reports whether one note on one channel is held, and the velocity it was
// struck or released with, as heard from every MIDI source present when the
// patch was made.
class TembraMIDIInputNote : public QCPatch {
public:
    static constexpr const char* className = "TembraMIDIInputNote";
    static constexpr const char* classDescription =
        "Follows one MIDI note: its velocity and whether it is held.";
    static int executionMode() { return 2; }

    explicit TembraMIDIInputNote(const std::string& identifier);
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCIndexPort inputChannel{this, "inputChannel",
        {.description = "MIDI channel, 1 to 16"}};
    QCIndexPort inputNote{this, "inputNote",
        {.description = "note number, 0 to 127 (60 is middle C)"}};
    QCIndexPort outputVelocity{this, "outputVelocity",
        {.description = "velocity stored for the note, 0 to 127"}};
    QCBooleanPort outputGate{this, "outputGate",
        {.description = "true while the note is held"}};
};

// Read callback: stores Note On and Note Off in the process-wide tables.
void TembraMIDIInputNoteReadProc(const MIDIPacketList* pktlist, void* readProcRefCon, void* srcConnRefCon);
