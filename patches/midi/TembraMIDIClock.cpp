#include "TembraMIDIClock.h"

#include "EndpointName.h"
#include "MIDITables.h"
#include "patches/midi/MIDIClockInput.h"

#include <vector>

using namespace MIDITables;

TembraMIDIClock::TembraMIDIClock(const std::string& identifier) : QCPatch(identifier) {
    store(_running, false);
    store(_clockCounter, 0u);
    portFilter.reset();
}

TembraMIDIClock::~TembraMIDIClock() { MIDIClockInput::shared().release(this); }

void TembraMIDIClock::enable(QCContext*) { connectMIDISources(); }

void TembraMIDIClock::disable(QCContext*) { disconnectMIDISources(); }

std::string TembraMIDIClock::filterText() const {
    const StringRef& filter = inputFilter.stringValue();
    return filter ? *filter : std::string();
}

void TembraMIDIClock::connectMIDISources() {
    const ItemCount count = MIDIGetNumberOfSources();
    const std::string filter = filterText();
    std::vector<MIDIEndpointRef> sources;
    for (ItemCount i = 0; i < count; ++i) {
        const MIDIEndpointRef source = MIDIGetSource(i);
        const std::string name = EndpointName(source);
        if (filter.empty() || name.empty() || name.find(filter) != std::string::npos) sources.push_back(source);
    }
    MIDIClockInput::shared().select(this, sources);
}

void TembraMIDIClock::disconnectMIDISources() { MIDIClockInput::shared().release(this); }

bool TembraMIDIClock::execute(QCOpenGLContext*, double, const QCArguments*) {
    // Compare-exchange: a message setting the flag at this moment is kept pending.
    outputStartSignal.setBooleanValue(raiseFlag(currentClockStart));
    outputStopSignal.setBooleanValue(raiseFlag(currentClockStop));
    outputContinueSignal.setBooleanValue(raiseFlag(currentClockContinue));

    outputBeats.setIndexValue(load(currentClockBeats));
    outputMeasures.setDoubleValue(load(currentClockMeasures));

    const std::string filter = filterText();
    if (portFilter && *portFilter == filter) return true;
    portFilter = filter;
    // One step from the old sources to the new: a source in both stays
    // connected and loses nothing meanwhile.
    connectMIDISources();
    return true;
}

void TembraMIDIClockReadProc(const MIDIPacketList* pktlist, void*, void*) {
    const MIDIPacket* packet = &pktlist->packet[0];
    for (uint32_t i = 0; i < pktlist->numPackets; ++i, packet = MIDIPacketNext(packet)) {
        if (packet->length != 1 || packet->data[0] < 0xF0) continue;
        switch (packet->data[0]) {
        case 0xF8:  // Timing Clock
            if (load(_running)) {
                const uint32_t count = load(_clockCounter) + 1;
                store(_clockCounter, count);
                store(currentClockMeasures, static_cast<double>(count) / 96.0);
                store(currentClockBeats, count / 24);
            }
            break;
        case 0xFA:  // Start
            store(_clockCounter, 0u);
            store(_running, true);
            store(currentClockStart, int8_t{1});
            store(currentClockStop, int8_t{0});
            store(currentClockContinue, int8_t{0});
            break;
        case 0xFB:  // Continue
            store(_running, true);
            store(currentClockStart, int8_t{0});
            store(currentClockStop, int8_t{0});
            store(currentClockContinue, int8_t{1});
            break;
        case 0xFC:  // Stop
            store(_running, false);
            store(currentClockStart, int8_t{0});
            store(currentClockStop, int8_t{1});
            store(currentClockContinue, int8_t{0});
            break;
        default:
            break;
        }
    }
}
