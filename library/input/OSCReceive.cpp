#include "library/input/OSCReceive.h"

#include "host/LocatedJSON.h"
#include "platform/foundation/NSLog.h"
#include "platform/osc/OSCServerRegistry.h"

OSCReceive::OSCReceive(const std::string& identifier) : QCPatch(identifier) {
    inputHost.setStringValue(newString("127.0.0.1"));
    inputPort.setMaxIndexValue(65535);
    inputPort.setIndexValue(9000);
    inputAddress.setStringValue(newString("/value"));
    outputString.setStringValue(newString(""));
    outputArguments.setStringValue(newString(""));
}

OSCReceive::~OSCReceive() = default;

uint64_t OSCReceive::messagesReceived() const { return mailbox_ ? mailbox_->posted() : 0; }

void OSCReceive::report(const std::string& line) {
    // A fault is said once, not every frame it lasts.
    if (line == lastLine_) return;
    lastLine_ = line;
    NSLog("OSCReceive %s: %s", quotedShort(identifier()).c_str(), line.c_str());
}

void OSCReceive::listen() {
    mailbox_.reset();
    // A new address on the same port and host keeps the socket open.
    std::shared_ptr<OSCServer> previous = std::move(server_);
    const bool samePlace =
        previous && previous->port() == port_ && previous->host() == (host_.empty() ? "127.0.0.1" : host_);
    if (!samePlace) previous.reset();
    if (port_ == 0) return;
    if (address_.empty() || address_[0] != '/') {
        report("the address pattern " + quotedShort(address_) + " must start with /");
        return;
    }
    std::string error;
    server_ = samePlace ? previous : OSCServerRegistry::shared().serverFor(host_, static_cast<uint16_t>(port_), &error);
    if (!server_) {
        report(error);
        return;
    }
    mailbox_ = std::make_shared<OSCMailbox>(address_);
    server_->subscribe(mailbox_);
    lastLine_.clear();
}

bool OSCReceive::execute(QCOpenGLContext*, double, const QCArguments*) {
    const std::string host = inputHost.stringValue() ? *inputHost.stringValue() : std::string();
    const std::string address = inputAddress.stringValue() ? *inputAddress.stringValue() : std::string();
    const uint32_t port = std::min<uint32_t>(inputPort.indexValue(), 65535);
    // A port held by another program is tried again when the settings change.
    if (!listening_ || host != host_ || port != port_ || address != address_) {
        host_ = host;
        port_ = port;
        address_ = address;
        listening_ = true;
        listen();
    }
    std::unique_ptr<OSCMessage> message = mailbox_ ? mailbox_->take() : nullptr;
    if (message) {
        if (message->hasNumber) outputValue.setDoubleValue(message->number);
        outputString.setStringValue(newString(message->arguments.empty() ? std::string() : message->arguments[0]));
        std::string all;
        for (const std::string& argument : message->arguments) all += (all.empty() ? "" : " ") + argument;
        outputArguments.setStringValue(newString(std::move(all)));
    }
    outputTrig.setBooleanValue(message != nullptr);
    if (server_) {
        const std::string drops = server_->takeDropReport();
        if (!drops.empty()) NSLog("%s", drops.c_str());
    }
    return true;
}
