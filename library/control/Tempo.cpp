#include "Tempo.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kBeatsPerMeasure = 4;
constexpr double kClocksPerBeat = 24;
// The slope is fitted over the changes of the last measure: long enough to
// average out frame steps, short enough to follow a tempo change.
constexpr double kWindowBeats = 4;

double fraction(double x) { return x - std::floor(x); }

}  // namespace

void Tempo::restart() {
    changes.clear();
    lastBeats = -1;
    shownBeats = 0;
    intercept = 0;
}

bool Tempo::execute(QCOpenGLContext*, double time, const QCArguments*) {
    const bool start = inputStart.booleanValue(), stop = inputStop.booleanValue();
    if (start && !wasStart) {
        restart();
        running = true;
    }
    if (stop && !wasStop) running = false;
    wasStart = start, wasStop = stop;

    const double measures = inputMeasures.doubleValue();
    const double beats = std::isfinite(measures) ? measures * kBeatsPerMeasure : 0;
    // Start leaves the old count in place until the first clock after it.
    const bool stale = start && changes.empty() && lastBeats < 0;
    if (!stale && beats != lastBeats) {
        if (beats < lastBeats) restart();  // the count began again without a Start we see
        if (lastBeats >= 0) running = true;
        lastBeats = beats;
        changes.emplace_back(time, beats);
        while (changes.size() > 2 && changes.front().second < beats - kWindowBeats) changes.pop_front();
        if (changes.size() >= 2) {
            double mt = 0, mb = 0;
            for (const auto& [t, b] : changes) mt += t, mb += b;
            mt /= changes.size(), mb /= changes.size();
            double stt = 0, stb = 0;
            for (const auto& [t, b] : changes) stt += (t - mt) * (t - mt), stb += (t - mt) * (b - mb);
            if (stt > 0 && stb > 0) {
                beatsPerSecond = stb / stt;
                intercept = mb - beatsPerSecond * mt;
            }
        }
    }

    double now = std::max(lastBeats, 0.0);
    if (running && changes.size() >= 2 && beatsPerSecond > 0) {
        // On the fitted line, but never behind the count nor more than two
        // clocks ahead of it, so a clock that stops holds the phase still.
        now = std::clamp(intercept + beatsPerSecond * time, lastBeats, lastBeats + 2 / kClocksPerBeat);
    }
    // Phases only go forward until the count begins again (restart).
    now = std::max(now, shownBeats);
    const bool beat = std::floor(now) > std::floor(shownBeats);
    shownBeats = now;

    outputBeatsPerMinute.setDoubleValue(changes.size() >= 2 ? beatsPerSecond * 60 : 0);
    outputBeatPhase.setDoubleValue(fraction(now));
    outputMeasurePhase.setDoubleValue(fraction(now / kBeatsPerMeasure));
    outputBeat.setBooleanValue(beat);
    return true;
}
