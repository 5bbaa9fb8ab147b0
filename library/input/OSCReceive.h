#pragma once

#include "host/QCPatch.h"

#include <memory>

class OSCMailbox;
class OSCServer;

// Messages from an OSC sender (a phone, a controller app, another program)
// at one address pattern on one UDP port. Messages arrive between frames;
// a frame shows the latest one. Patches on the same port share its socket.
class OSCReceive : public QCPatch {
public:
    static constexpr const char* className = "OSCReceive";
    static constexpr const char* classDescription = "Receives OSC messages over UDP: the first argument and a trigger";
    static int executionMode() { return 2; }

    explicit OSCReceive(const std::string& identifier);
    ~OSCReceive() override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputHost{this, "inputHost",
                           {.description = "The address to listen on: 127.0.0.1 for this machine only, 0.0.0.0 for "
                                           "senders on every network the machine is on"}};
    QCIndexPort inputPort{this, "inputPort",
                          {.description = "The UDP port to listen on; 0 listens to nothing", .min = 0, .max = 65535}};
    QCStringPort inputAddress{this, "inputAddress",
                              {.description = "The OSC address pattern listened to, such as /fader or /1/* "
                                              "(* ? [ ] { } as in OSC)"}};
    QCNumberPort outputValue{this, "outputValue",
                             {.description = "The latest message's first argument as a number (booleans are 0 and 1; "
                                             "text that is no number leaves it as it was)"}};
    QCStringPort outputString{this, "outputString", {.description = "The latest message's first argument as text"}};
    QCStringPort outputArguments{this, "outputArguments",
                                 {.description = "All arguments of the latest message as text, separated by spaces"}};
    QCBooleanPort outputTrig{this, "outputTrig",
                             {.description = "True for one frame when at least one message arrived since the last"}};

    // Messages this patch has taken in (for tests and benchmarks).
    uint64_t messagesReceived() const;
    const OSCServer* server() const { return server_.get(); }

private:
    void listen();
    void report(const std::string& line);

    std::string host_, address_;
    uint32_t port_ = 0;
    bool listening_ = false;
    std::shared_ptr<OSCServer> server_;
    std::shared_ptr<OSCMailbox> mailbox_;
    std::string lastLine_;
};
