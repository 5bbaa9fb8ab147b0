#pragma once

#include "platform/midi/CoreMIDI.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

// Listens to every MIDI source for the first controller moved or key
// pressed after arm(): what the editor's "learn" turns into a MIDI input
// patch. Read on the MIDI layer's threads, taken on the evaluation thread.
class MIDILearn {
public:
    struct Heard {
        bool isNote = false;
        int channel = 1;  // 1 to 16
        int number = 0;   // controller or note, 0 to 127
    };

    // Null with `error` naming the cause when the MIDI layer refuses.
    static std::unique_ptr<MIDILearn> create(std::string* error);
    ~MIDILearn();
    MIDILearn(const MIDILearn&) = delete;
    MIDILearn& operator=(const MIDILearn&) = delete;

    // Forgets what was heard and listens again, to the sources there are now.
    void arm();
    void disarm();
    // What was heard since arm(), once.
    std::optional<Heard> take();

private:
    explicit MIDILearn(MIDIClientRef client) : client_(client) {}
    static void read(const MIDIPacketList* packets, void* self, void*);

    MIDIClientRef client_;
    MIDIPortRef port_ = 0;
    std::mutex mutex_;  // guards the two below
    bool armed_ = false;
    std::optional<Heard> heard_;
};
