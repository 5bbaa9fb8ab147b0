#pragma once

#include "host/QCPatch.h"
#include "platform/midi/CoreMIDI.h"

#include <mutex>

// Reports the latest value of one controller on one channel, received from
// every MIDI source whose name matches inputPortName, and a trigger that is
// true for one evaluation after a message for it arrived.
class TembraMIDIInputCC : public QCPatch {
public:
    static constexpr const char* className = "TembraMIDIInputCC";
    static constexpr const char* classDescription =
        "Reads a MIDI controller (CC) from the sources whose names match a pattern.";
    static int executionMode() { return 2; }

    explicit TembraMIDIInputCC(const std::string& identifier);
    ~TembraMIDIInputCC() override;
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputPortName{this, "inputPortName",
        {.description = "pattern (regular expression) that the MIDI source names must match, \".*\" for every source"}};
    QCIndexPort inputChannel{this, "inputChannel",
        {.description = "MIDI channel, 1 to 16"}};
    QCIndexPort inputController{this, "inputController",
        {.description = "controller number, 0 to 127"}};
    QCIndexPort outputValue{this, "outputValue",
        {.description = "latest value of the controller, 0 to 127"}};
    QCBooleanPort outputTrig{this, "outputTrig",
        {.description = "true for one frame after a message for the controller"}};

private:
    friend void TembraMIDIInputCCNotifyProc(const MIDINotification* message, void* refCon);
    void sourceAdded(MIDIEndpointRef source);

    // Guards currentPortName and inPort, which the notification thread reads
    // while the evaluation replaces them.
    std::mutex portMutex;
    StringRef currentPortName;
    MIDIClientRef client = 0;
    MIDIPortRef inPort = 0;
};

// Read callback: stores Control Changes in the process-wide tables.
void TembraMIDIInputCCReadProc(const MIDIPacketList* pktlist, void* readProcRefCon, void* srcConnRefCon);
// Notification callback: connects matching sources added to the system.
void TembraMIDIInputCCNotifyProc(const MIDINotification* message, void* refCon);
