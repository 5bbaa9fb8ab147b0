#include "TembraMIDIOutputCC.h"

#include "MIDIMessageList.h"
#include "TembraMIDIPatch.h"
#include "patches/regex/CSRegexStringOperations.h"
#include "platform/foundation/NSLog.h"

#include <algorithm>

namespace {

// Logged before the base construction runs.
const std::string& loggedIdentifier(const std::string& identifier) {
    NSLog("TembraMIDIOutputCC::initWithIdentifier()");
    return identifier;
}

}  // namespace

TembraMIDIOutputCC::TembraMIDIOutputCC(const std::string& identifier) : QCPatch(loggedIdentifier(identifier)) {
    inputChannel.setIndexValue(1);
    inputChannel.setMaxIndexValue(16);
    inputController.setIndexValue(1);
    inputController.setMaxIndexValue(127);
    inputValue.setIndexValue(0);
    inputValue.setMaxIndexValue(127);
    inputPortName.setStringValue(newString(".*"));

    // A distinct object, so that the first evaluation always sees a change.
    currentPortName = newString("");
    currentChannel = currentController = currentValue = -1;
    destinations.clear();

    MIDIClientRef client = 0;
    MIDIClientCreate("TembraMIDIOutputCC", nullptr, nullptr, &client);
    MIDIOutputPortCreate(client, "Output port", &gOutPort);
}

TembraMIDIOutputCC::~TembraMIDIOutputCC() { NSLog("TembraMIDIOutputCC::dealloc()"); }

QCContext* TembraMIDIOutputCC::setup(QCContext* context) {
    NSLog("TembraMIDIOutputCC::setup()");
    return context;
}

void TembraMIDIOutputCC::enable(QCContext*) { NSLog("TembraMIDIOutputCC::enable()"); }

void TembraMIDIOutputCC::disable(QCContext*) { NSLog("TembraMIDIOutputCC::disable()"); }

void TembraMIDIOutputCC::cleanup(QCContext*) { NSLog("TembraMIDIOutputCC::cleanup()"); }

bool TembraMIDIOutputCC::execute(QCOpenGLContext*, double, const QCArguments*) {
    if (inputPortName.stringValue() != currentPortName) {
        currentPortName = inputPortName.stringValue();
        NSLog("TembraMIDIOutputCC::execute() PortName changed.  Matching Ports:");
        scanDestinations();
    }

    bool sendFlag = false;
    if (currentChannel != static_cast<int32_t>(inputChannel.indexValue())) {
        int32_t channel = static_cast<int32_t>(inputChannel.indexValue());
        if (channel <= 0) {
            channel = 1;
            inputChannel.setIndexValue(1);
        }
        currentChannel = channel;
        sendFlag = true;
    }
    if (currentController != static_cast<int32_t>(inputController.indexValue())) {
        int32_t controller = static_cast<int32_t>(inputController.indexValue());
        if (controller <= 0) {
            controller = 1;
            inputController.setIndexValue(1);
        }
        currentController = controller;
        sendFlag = true;
    }
    if (currentValue != static_cast<int32_t>(inputValue.indexValue())) {
        int32_t value = static_cast<int32_t>(inputValue.indexValue());
        if (value < 0) {
            value = 0;
            inputValue.setIndexValue(0);
        }
        currentValue = value;
        sendFlag = true;
    }

    if (sendFlag) send();
    return true;
}

void TembraMIDIOutputCC::scanDestinations() {
    destinations.clear();
    const std::string pattern = currentPortName ? *currentPortName : std::string();
    const ItemCount count = MIDIGetNumberOfDestinations();
    for (ItemCount i = 0; i < count; ++i) {
        const MIDIEndpointRef destination = MIDIGetDestination(i);
        const StringRef name = TembraMIDIPatch::endpointName(destination);
        // A pattern that does not compile throws here: the set stays empty
        // until the pattern changes again.
        if (matchedByPattern(*name, pattern)) {
            destinations.insert(destination);
            NSLog("\t* \"%s\"", name->c_str());
        }
    }
}

void TembraMIDIOutputCC::send() {
    // The port maxima are not enforced on every path: a channel above 16 or a
    // data byte above 127 would make another message.
    MIDIMessageList message({
        static_cast<Byte>(0xB0 + (std::min(currentChannel, 16) - 1)),
        static_cast<Byte>(std::min(currentController, 127)),
        static_cast<Byte>(std::min(currentValue, 127)),
    });
    for (const MIDIEndpointRef destination : destinations) MIDISend(gOutPort, destination, message.list());
}
