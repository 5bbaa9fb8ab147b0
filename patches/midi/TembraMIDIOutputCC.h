#pragma once

#include "host/QCPatch.h"
#include "platform/midi/CoreMIDI.h"

#include <set>

// Sends a Control Change to every MIDI destination whose name matches
// inputPortName whenever the channel, controller or value changes.
class TembraMIDIOutputCC : public QCPatch {
public:
    static constexpr const char* className = "TembraMIDIOutputCC";
    static constexpr const char* classDescription =
        "Sends a MIDI controller (CC) value to the destinations whose names match a pattern.";
    static int executionMode() { return 1; }

    explicit TembraMIDIOutputCC(const std::string& identifier);
    ~TembraMIDIOutputCC() override;
    QCContext* setup(QCContext* context) override;
    void enable(QCContext* context) override;
    void disable(QCContext* context) override;
    void cleanup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputPortName{this, "inputPortName",
        {.description = "pattern (regular expression) that the MIDI destination names must match, \".*\" for every destination"}};
    QCIndexPort inputChannel{this, "inputChannel",
        {.description = "MIDI channel, 1 to 16"}};
    QCIndexPort inputController{this, "inputController",
        {.description = "controller number, 0 to 127"}};
    QCIndexPort inputValue{this, "inputValue",
        {.description = "controller value to send, 0 to 127; sent when it changes"}};

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
