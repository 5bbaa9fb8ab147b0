#pragma once

#include "SelectPatch.h"

// Processor: an index picks one of eight numbers, e.g. a key or a pad switching scenes.
class SelectNumber : public SelectPatch<QCNumberPort> {
public:
    static constexpr const char* className = "SelectNumber";
    static constexpr const char* classDescription = "An index picks one of eight numbers.";
    using SelectPatch::SelectPatch;
};
