#pragma once

#include <atomic>
#include <cstdint>

// The process-wide MIDI state that the read callbacks write on a MIDI thread
// and the patches read (and partly clear) on the evaluation thread. Every
// element is its own relaxed atomic: no consistency between elements is
// promised. Static storage starts zero-filled.
//
// Rows are MIDI channels 0..15, columns the first data byte 0..127.
namespace MIDITables {

constexpr int kChannels = 16;
constexpr int kNumbers = 128;

extern std::atomic<uint32_t> currentControllers[kChannels][kNumbers];
extern std::atomic<bool> controllerTrigs[kChannels][kNumbers];
extern std::atomic<bool> currentNoteGates[kChannels][kNumbers];
extern std::atomic<int32_t> currentNoteVelocities[kChannels][kNumbers];

// Clock flags: 0 nothing pending, 1 arrived and not shown yet, 2 shown.
extern std::atomic<int8_t> currentClockStart;
extern std::atomic<int8_t> currentClockStop;
extern std::atomic<int8_t> currentClockContinue;
extern std::atomic<double> currentClockMeasures;
extern std::atomic<uint32_t> currentClockBeats;
// Used by the clock read callback only (and reset by clock construction).
extern std::atomic<uint32_t> _clockCounter;
extern std::atomic<bool> _running;

template <class T>
inline T load(const std::atomic<T>& element) {
    return element.load(std::memory_order_relaxed);
}

template <class T>
inline void store(std::atomic<T>& element, T value) {
    element.store(value, std::memory_order_relaxed);
}

// Raises a clock flag from 1 to 2; true when this call did it. A message
// that sets the flag at the same moment is never overwritten.
inline bool raiseFlag(std::atomic<int8_t>& flag) {
    int8_t expected = 1;
    return flag.compare_exchange_strong(expected, int8_t{2}, std::memory_order_relaxed);
}

}  // namespace MIDITables
