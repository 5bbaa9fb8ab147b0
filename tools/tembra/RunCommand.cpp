#include "RunCommand.h"

#include "AudioOption.h"
#include "InterruptHandler.h"
#include "OffscreenSurface.h"
#include "PNGFrameSink.h"
#include "Pacer.h"
#include "Progress.h"
#include "Session.h"
#include "VideoFrameSink.h"
#include "platform/foundation/NSLog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Bounds that keep every frame's time and the frame count finite.
constexpr double kMinFPS = 1e-3, kMaxFPS = 1e6, kMaxFrames = 1e12;

// The frames --duration asks for. A duration that is a whole number of
// frames gives exactly that many, though binary floating point may put the
// product a hair above it (0.07 s at 100 fps is 7.000000000000001); any
// other duration is rounded up so that the frames cover it.
long framesForDuration(double duration, double fps) {
    const double product = duration * fps;
    if (!(product <= kMaxFrames)) throw UsageError("--duration is too long");
    const double nearest = std::round(product);
    if (std::fabs(product - nearest) <= 1e-9 * std::max(1.0, nearest)) return static_cast<long>(nearest);
    return static_cast<long>(std::ceil(product));
}

}  // namespace

void checkFrameRate(double fps) {
    if (!(fps >= kMinFPS && fps <= kMaxFPS)) throw UsageError("--fps must be a number from 0.001 to 1000000");
}

int runComposition(const RunOptions& options) {
    checkFrameRate(options.fps);
    long frames = 1;
    if (options.frames >= 0 && options.duration >= 0) throw UsageError("give --frames or --duration, not both");
    if (options.frames >= 0) frames = options.frames;
    if (options.duration >= 0) frames = framesForDuration(options.duration, options.fps);
    const bool untilInterrupted = options.realtime && options.frames < 0 && options.duration < 0;

    Session session(options);
    if (!options.render.empty()) {
        auto sink = std::make_unique<PNGFrameSink>(options.render, "--render");
        if (!session.hasPicture()) throw UsageError("--render: the composition has no patch that draws");
        session.addSink(std::move(sink));
    }
    // A composition that draws nothing is recorded by its first image.
    if (!options.record.empty() && !session.hasPicture() && !session.showFirstImageOutput())
        throw UsageError("--record: the composition has no patch that draws and no image output");
    const bool keepsFrames = !options.render.empty() || !options.record.empty();
    if (session.hasPicture()) {
        std::string error;
        auto surface = OffscreenSurface::create(session.document().renderWidth, session.document().renderHeight, &error);
        if (surface) session.setSurface(std::move(surface));
        else if (keepsFrames) throw std::runtime_error(error);
        // Without --render or --record the composition still runs; its drawing is lost.
        else NSLog("%s; running it without drawing", error.c_str());
    }

    VideoFrameSink* video = nullptr;
    if (!options.record.empty()) {
        auto sink = std::make_unique<VideoFrameSink>(options.record, session.surface()->width(),
                                                     session.surface()->height(), options.fps, options.recordQuality,
                                                     recordedAudioOutput());
        video = sink.get();
        session.addSink(std::move(sink));
    }

    const InterruptHandler interruptHandler;
    Progress progress(options.realtime || untilInterrupted ? 0 : frames);
    session.onPrint([&progress] { progress.clear(); });
    session.start();
    OfflinePacer offline;
    RealtimePacer realtime;
    Pacer& pacer = options.realtime ? static_cast<Pacer&>(realtime) : offline;
    double clockEnd = 0;  // seconds of sound the frames run so far stand for
    long done = 0;
    for (long frame = 0; (untilInterrupted || frame < frames) && !interruptHandler.interrupted(); ++frame) {
        const double time = static_cast<double>(frame) / options.fps;
        session.frame(frame, time, pacer.waitFor(time));
        progress.update(frame + 1, video ? video->status() : std::string());
        clockEnd = static_cast<double>(frame + 1) / options.fps;
        done = frame + 1;
    }
    session.finish(clockEnd);
    if (video) progress.update(done, video->status());  // the size with the trailer
    progress.finish();
    if (video && !video->warning().empty()) std::fprintf(stderr, "tembra: %s\n", video->warning().c_str());
    if (options.stats) std::fprintf(stderr, "%s\n", session.statsLine().c_str());
    return 0;
}
