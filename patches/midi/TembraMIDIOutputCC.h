#pragma once

#include "host/QCPatch.h"
#include "platform/midi/CoreMIDI.h"

#include <set>

// Sends a Control Change to every MIDI destination whose name matches
// inputPortName whenever the channel, controller or value changes.
class TembraMIDIOutputCC : public QCPatch {
public:
    static constexpr const char* className = "TembraMIDIOutputCC";
    static int executionMode() { return 1; }

    explicit TembraMIDIOutputCC(const std::string& identifier);
    ~TembraMIDIOutputCC() override;
    QCContext* setup(QCContext* context) override;
    void enable(QCContext* context) override;
    void disable(QCContext* context) override;
    void cleanup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputPortName{this, "inputPortName"};
    QCIndexPort inputChannel{this, "inputChannel"};
    QCIndexPort inputController{this, "inputController"};
    QCIndexPort inputValue{this, "inputValue"};

private:
    void scanDestinations();
    void send();

    StringRef currentPortName;
    int32_t currentChannel = -1;
    int32_t currentController = -1;
    int32_t currentValue = -1;
    MIDIPortRef gOutPort = 0;
    std::set<MIDIEndpointRef> destinations;
};
