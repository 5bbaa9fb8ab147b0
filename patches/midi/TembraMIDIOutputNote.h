#pragma once

#include "host/QCPatch.h"
#include "platform/midi/CoreMIDI.h"

// Plays one note through every MIDI destination: Note On when the gate turns
// on, Note Off when it turns off.
class TembraMIDIOutputNote : public QCPatch {
public:
    static constexpr const char* className = "TembraMIDIOutputNote";
    static int executionMode() { return 1; }

    explicit TembraMIDIOutputNote(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCIndexPort inputChannel{this, "inputChannel"};
    QCIndexPort inputNote{this, "inputNote"};
    QCIndexPort inputVelocity{this, "inputVelocity"};
    QCBooleanPort inputGate{this, "inputGate"};

private:
    bool gateState = false;
    MIDIPortRef gOutPort = 0;
};
