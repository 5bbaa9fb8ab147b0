#pragma once

#include "host/QCPatch.h"

#include <memory>

class OSCSender;

// Sends a number as an OSC message (one float argument) over UDP whenever
// it changes: to a lighting desk, a sound program, another Tembra.
class OSCSend : public QCPatch {
public:
    static constexpr const char* className = "OSCSend";
    static constexpr const char* classDescription = "Sends a number as an OSC message over UDP when it changes";
    static int executionMode() { return 3; }

    explicit OSCSend(const std::string& identifier);
    ~OSCSend() override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputHost{this, "inputHost",
                           {.description = "Where to send: a numeric IP address, or localhost"}};
    QCIndexPort inputPort{this, "inputPort", {.description = "The UDP port to send to", .min = 1, .max = 65535}};
    QCStringPort inputAddress{this, "inputAddress", {.description = "The OSC address of the messages, such as /fader"}};
    QCNumberPort inputValue{this, "inputValue", {.description = "The number sent, each time it changes"}};

private:
    void report(const std::string& line);

    std::string host_;
    uint32_t port_ = 0;
    bool targetKnown_ = false;
    std::unique_ptr<OSCSender> sender_;
    std::string lastLine_;
};
