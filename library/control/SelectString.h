#pragma once

#include "SelectPatch.h"

// Processor: an index picks one of eight texts, e.g. a key or a pad switching scenes.
class SelectString : public SelectPatch<QCStringPort> {
public:
    static constexpr const char* className = "SelectString";
    static constexpr const char* classDescription = "An index picks one of eight texts.";
    using SelectPatch::SelectPatch;
};
