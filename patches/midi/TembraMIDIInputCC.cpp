#include "TembraMIDIInputCC.h"

#include "MIDITables.h"
#include "TembraMIDIPatch.h"
#include "patches/regex/CSRegexException.h"
#include "patches/regex/CSRegexStringOperations.h"
#include "platform/foundation/NSLog.h"

#include <algorithm>

using namespace MIDITables;

TembraMIDIInputCC::TembraMIDIInputCC(const std::string& identifier) : QCPatch(identifier) {
    inputChannel.setIndexValue(1);
    inputChannel.setMaxIndexValue(16);
    inputController.setIndexValue(1);
    inputController.setMaxIndexValue(127);
    inputPortName.setStringValue(newString(".*"));

    // A distinct object, so that the first evaluation always sees a change.
    currentPortName = newString("");

    for (int channel = 0; channel < kChannels; ++channel)
        for (int controller = 0; controller < kNumbers; ++controller) {
            store(currentControllers[channel][controller], 0u);
            store(controllerTrigs[channel][controller], false);
        }

    client = 0;
    MIDIClientCreate("TembraMIDIInputCC", TembraMIDIInputCCNotifyProc, this, &client);
    inPort = 0;
}

TembraMIDIInputCC::~TembraMIDIInputCC() {
    // The client's notifications carry this instance: none may run once it is
    // gone. Disposing the client waits for one in progress and ends its port.
    MIDIClientDispose(client);
}

QCContext* TembraMIDIInputCC::setup(QCContext* context) {
    outputValue.setIndexValue(0);
    outputTrig.setBooleanValue(false);
    return context;
}

bool TembraMIDIInputCC::execute(QCOpenGLContext*, double, const QCArguments*) {
    if (inputPortName.stringValue() != currentPortName) {
        std::lock_guard lock(portMutex);
        currentPortName = inputPortName.stringValue();
        NSLog("TembraMIDIInputCC::execute() PortName changed.  Matching Ports:");
        if (inPort != 0) MIDIPortDispose(inPort);
        MIDIInputPortCreate(client, "TembraMIDIInputCC.InputPort", TembraMIDIInputCCReadProc, nullptr, &inPort);
        const std::string pattern = currentPortName ? *currentPortName : std::string();
        for (ItemCount i = 0; i < MIDIGetNumberOfSources(); ++i) {
            const MIDIEndpointRef source = MIDIGetSource(i);
            const StringRef name = TembraMIDIPatch::endpointName(source);
            // A pattern that does not compile throws here and ends this evaluation.
            if (matchedByPattern(*name, pattern)) {
                MIDIPortConnectSource(inPort, source, nullptr);
                NSLog("\t* \"%s\"", name->c_str());
            }
        }
    }

    const int controller = std::clamp(static_cast<int32_t>(inputController.indexValue()), 1, 127);
    const int channel = std::clamp(static_cast<int32_t>(inputChannel.indexValue()), 1, 16) - 1;

    outputValue.setIndexValue(load(currentControllers[channel][controller]));
    if (load(controllerTrigs[channel][controller])) {
        outputTrig.setBooleanValue(true);
        store(controllerTrigs[channel][controller], false);
    } else {
        outputTrig.setBooleanValue(false);
    }
    return true;
}

void TembraMIDIInputCC::sourceAdded(MIDIEndpointRef source) {
    std::lock_guard lock(portMutex);
    // Before the first evaluation there is no port; its scan will find the source.
    if (inPort == 0) return;
    const StringRef name = TembraMIDIPatch::endpointName(source);
    bool matches = false;
    try {
        matches = matchedByPattern(*name, currentPortName ? *currentPortName : std::string());
    } catch (const CSRegexException&) {
        // A pattern that does not compile matches nothing; the evaluation
        // that took it has already logged why.
        return;
    }
    if (!matches) return;
    MIDIPortConnectSource(inPort, source, nullptr);
    NSLog("TembraMIDIInputCCNotifyProc() kMIDIMsgObjectAdded(\"%s\")", name->c_str());
}

void TembraMIDIInputCCReadProc(const MIDIPacketList* pktlist, void*, void*) {
    const MIDIPacket* packet = &pktlist->packet[0];
    for (uint32_t i = 0; i < pktlist->numPackets; ++i, packet = MIDIPacketNext(packet)) {
        if (packet->length != 3 || (packet->data[0] & 0xF0) != 0xB0) continue;
        const int channel = packet->data[0] & 0x0F;
        const Byte controller = packet->data[1];
        const Byte value = packet->data[2];
        if (controller >= 128 || value >= 128) continue;  // not MIDI data bytes
        store(currentControllers[channel][controller], uint32_t{value});
        store(controllerTrigs[channel][controller], true);
    }
}

void TembraMIDIInputCCNotifyProc(const MIDINotification* message, void* refCon) {
    if (message->messageID != kMIDIMsgObjectAdded && message->messageID != kMIDIMsgObjectRemoved) return;
    const auto* change = reinterpret_cast<const MIDIObjectAddRemoveNotification*>(message);
    if (change->childType != kMIDIObjectType_Source) return;
    if (change->messageID == kMIDIMsgObjectAdded) {
        static_cast<TembraMIDIInputCC*>(refCon)->sourceAdded(change->child);
    } else {
        const StringRef name = TembraMIDIPatch::endpointName(change->child);
        NSLog("TembraMIDIInputCCNotifyProc() kMIDIMsgObjectRemoved(\"%s\")", name->c_str());
    }
}
