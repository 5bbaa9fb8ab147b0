#pragma once

#include "platform/midi/CoreMIDI.h"

#include <string>

// The display name of a MIDI endpoint: its own name (or, when that is empty,
// its entity's), preceded by its device's name and a blank unless the device
// name is missing or equal to it. "Port 1" on device "Synth" is "Synth Port 1".
std::string EndpointName(MIDIEndpointRef endpoint);
