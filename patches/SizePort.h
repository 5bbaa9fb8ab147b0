#pragma once

#include "host/QCPort.h"

#include <cstdint>

// The rule of a patch's picture-size ports: when the port's value differs
// from the size last acted on, take it; a size of 0 (or one that reads as
// negative) becomes 1 and is written back. True when the size changed.
inline bool followSizePort(QCIndexPort& port, int32_t& current) {
    if (current == static_cast<int32_t>(port.indexValue())) return false;
    current = static_cast<int32_t>(port.indexValue());
    if (current <= 0) {
        current = 1;
        port.setIndexValue(1);
    }
    return true;
}
