#include "BeatPhase.h"

#include <algorithm>
#include <cmath>

BeatPhase::BeatPhase(const std::string& identifier) : QCPatch(identifier) {
    inputBPM.setDoubleValue(120);
    inputBeatsPerBar.setIndexValue(4);
}

bool BeatPhase::execute(QCOpenGLContext*, double time, const QCArguments*) {
    const double bpm = inputBPM.doubleValue();
    if (!(bpm > 0) || !std::isfinite(time)) return true;  // no tempo: hold still
    const double beats = time * bpm / 60.0;
    const double whole = std::floor(beats);
    outputPhase.setDoubleValue(beats - whole);
    const uint32_t perBar = std::max<uint32_t>(1, inputBeatsPerBar.indexValue());
    outputBeat.setIndexValue(static_cast<uint32_t>(std::fmod(whole, static_cast<double>(perBar))));
    return true;
}
