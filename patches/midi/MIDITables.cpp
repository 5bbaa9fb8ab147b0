#include "MIDITables.h"

namespace MIDITables {

std::atomic<uint32_t> currentControllers[kChannels][kNumbers];
std::atomic<bool> controllerTrigs[kChannels][kNumbers];
std::atomic<bool> currentNoteGates[kChannels][kNumbers];
std::atomic<int32_t> currentNoteVelocities[kChannels][kNumbers];

std::atomic<int8_t> currentClockStart;
std::atomic<int8_t> currentClockStop;
std::atomic<int8_t> currentClockContinue;
std::atomic<double> currentClockMeasures;
std::atomic<uint32_t> currentClockBeats;
std::atomic<uint32_t> _clockCounter;
std::atomic<bool> _running;

}  // namespace MIDITables
