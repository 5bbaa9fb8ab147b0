#pragma once

#include <cstddef>

// One known type: its identifier, its classic four-character type code (""
// when it has none), and its filename extensions and MIME types, each list
// separated by spaces, the preferred tag first.
struct UTTypeTableEntry {
    const char* identifier;
    const char* typeCode;
    const char* extensions;
    const char* mimeTypes;
};

extern const UTTypeTableEntry UTTypeTable[];
extern const size_t UTTypeTableCount;
