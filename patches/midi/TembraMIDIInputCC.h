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
    static int executionMode() { return 2; }

    explicit TembraMIDIInputCC(const std::string& identifier);
    ~TembraMIDIInputCC() override;
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputPortName{this, "inputPortName"};
    QCIndexPort inputChannel{this, "inputChannel"};
    QCIndexPort inputController{this, "inputController"};
    QCIndexPort outputValue{this, "outputValue"};
    QCBooleanPort outputTrig{this, "outputTrig"};

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
