#pragma once

#include "host/QCPatch.h"
#include "platform/midi/CoreMIDI.h"

// Plays one note through every MIDI destination: Note On when the gate turns
// on, Note Off when it turns off.
class TembraMIDIOutputNote : public QCPatch {
public:
    static constexpr const char* className = "TembraMIDIOutputNote";
    static constexpr const char* classDescription =
        "Plays one MIDI note on every destination while its gate is on.";
    static int executionMode() { return 1; }

    explicit TembraMIDIOutputNote(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCIndexPort inputChannel{this, "inputChannel",
        {.description = "MIDI channel, 1 to 16"}};
    QCIndexPort inputNote{this, "inputNote",
        {.description = "note number, 0 to 127 (60 is middle C)"}};
    QCIndexPort inputVelocity{this, "inputVelocity",
        {.description = "velocity of the Note On, and release velocity of the Note Off, 0 to 127"}};
    QCBooleanPort inputGate{this, "inputGate",
        {.description = "the note is held while true: on sends Note On, off sends Note Off"}};

private:
    bool gateState = false;
    MIDIPortRef gOutPort = 0;
};
