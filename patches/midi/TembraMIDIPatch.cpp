#include "TembraMIDIPatch.h"

#include "EndpointName.h"

StringRef TembraMIDIPatch::endpointName(MIDIEndpointRef endpoint) { return newString(EndpointName(endpoint)); }
