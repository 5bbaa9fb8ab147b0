#include "library/input/OSCSend.h"

#include "host/LocatedJSON.h"
#include "platform/foundation/NSLog.h"
#include "platform/osc/OSCSender.h"

#include <cmath>

OSCSend::OSCSend(const std::string& identifier) : QCPatch(identifier) {
    inputHost.setStringValue(newString("127.0.0.1"));
    inputPort.setMaxIndexValue(65535);
    inputPort.setIndexValue(9000);
    inputAddress.setStringValue(newString("/value"));
}

OSCSend::~OSCSend() = default;

void OSCSend::report(const std::string& line) {
    if (line == lastLine_) return;
    lastLine_ = line;
    NSLog("OSCSend %s: %s", quotedShort(identifier()).c_str(), line.c_str());
}

bool OSCSend::execute(QCOpenGLContext*, double, const QCArguments*) {
    // Runs when an input changed: each run is one message.
    const std::string host = inputHost.stringValue() ? *inputHost.stringValue() : std::string();
    const uint32_t port = std::min<uint32_t>(inputPort.indexValue(), 65535);
    if (!targetKnown_ || host != host_ || port != port_) {
        host_ = host;
        port_ = port;
        targetKnown_ = true;
        std::string error;
        sender_ = OSCSender::create(host, static_cast<uint16_t>(port), &error);
        if (!sender_) report(error);
    }
    if (!sender_) return true;
    if (!std::isfinite(inputValue.doubleValue())) {
        // What a broken formula gives is not for a lighting desk.
        report("the value is not a finite number; nothing sent");
        return true;
    }
    std::string error;
    if (sender_->send(inputAddress.stringValue() ? *inputAddress.stringValue() : std::string(),
                      inputValue.doubleValue(), &error))
        lastLine_.clear();
    else
        report(error);
    return true;
}
