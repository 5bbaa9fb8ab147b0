#pragma once

#include "host/QCValues.h"
#include "platform/midi/CoreMIDI.h"

// Names MIDI endpoints for the patches that select them by pattern.
class TembraMIDIPatch {
public:
    // A new string object holding EndpointName(endpoint).
    static StringRef endpointName(MIDIEndpointRef endpoint);
};
