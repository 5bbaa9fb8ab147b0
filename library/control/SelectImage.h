#pragma once

#include "SelectPatch.h"

// Processor: an index picks one of eight images, e.g. a key or a pad switching scenes.
class SelectImage : public SelectPatch<QCGLImagePort> {
public:
    static constexpr const char* className = "SelectImage";
    static constexpr const char* classDescription = "An index picks one of eight images.";
    using SelectPatch::SelectPatch;
};
