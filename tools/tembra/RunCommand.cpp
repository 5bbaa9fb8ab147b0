#include "RunCommand.h"

#include "AudioOption.h"
#include "InterruptHandler.h"
#include "OffscreenSurface.h"
#include "PNGFrameSink.h"
#include "Pacer.h"
#include "Progress.h"
#include "Session.h"
#include "ShowReplay.h"
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

std::pair<int, int> parseSize(const std::string& text) {
    int width = 0, height = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &end) != 2 || width < 1 || height < 1 ||
        width > 16384 || height > 16384)
        throw UsageError("--size \"" + text + "\" must be WIDTHxHEIGHT, each from 1 to 16384");
    return {width, height};
}


void checkFrameRate(double fps) {
    if (!(fps >= kMinFPS && fps <= kMaxFPS)) throw UsageError("--fps must be a number from 0.001 to 1000000");
}

int runComposition(const RunOptions& given) {
    RunOptions options = given;
    checkFrameRate(options.fps);
    std::pair<int, int> size{0, 0};
    if (!options.renderSize.empty()) size = parseSize(options.renderSize);
    if (options.frames >= 0 && options.duration >= 0) throw UsageError("give --frames or --duration, not both");

    // Replaying a take: its document, its --set values (the command's own
    // come after them), its frames unless --fps asks for others.
    std::unique_ptr<ShowReplay> replay;
    if (!options.replay.empty()) {
        std::string error;
        replay = ShowReplay::open(options.replay,
                                  options.fpsGiven ? ShowReplay::Timing::Resampled : ShowReplay::Timing::TakeFrames,
                                  &error);
        if (!replay) throw std::runtime_error(error);
        options.sets.insert(options.sets.begin(), replay->sets().begin(), replay->sets().end());
        if (!options.fpsGiven) options.fps = replay->fps();
    }
    const auto takeFrames = [&]() -> long {
        const auto& shown = replay->frames();
        if (!options.fpsGiven) return static_cast<long>(shown.size());
        // Every frame of the new rate that falls within the show.
        return static_cast<long>(std::floor(shown.back().time * options.fps + 1e-9)) + 1;
    };
    long frames = replay ? takeFrames() : 1;
    if (options.frames >= 0) frames = replay ? std::min(frames, options.frames) : options.frames;
    if (options.duration >= 0) {
        const long asked = framesForDuration(options.duration, options.fps);
        frames = replay ? std::min(frames, asked) : asked;
    }
    const bool untilInterrupted = !replay && options.realtime && options.frames < 0 && options.duration < 0;

    Session session(options, replay ? &replay->document() : nullptr);
    if (replay) session.setReplay(replay.get());
    // The picture the window showed live: without a patch that draws, the first image output.
    if (replay && !session.hasPicture()) session.showFirstImageOutput();
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
        if (options.renderSize.empty()) size = {session.document().renderWidth, session.document().renderHeight};
        auto surface = OffscreenSurface::create(size.first, size.second, &error);
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
        const double time = replay && !options.fpsGiven ? replay->frames()[static_cast<size_t>(frame)].time
                                                        : static_cast<double>(frame) / options.fps;
        session.frame(frame, time, pacer.waitFor(time));
        progress.update(frame + 1, video ? video->status() : std::string());
        clockEnd = replay && !options.fpsGiven ? time + 1.0 / options.fps
                                               : static_cast<double>(frame + 1) / options.fps;
        done = frame + 1;
    }
    session.finish(clockEnd);
    if (video) progress.update(done, video->status());  // the size with the trailer
    progress.finish();
    if (video && !video->warning().empty()) std::fprintf(stderr, "tembra: %s\n", video->warning().c_str());
    if (replay) {
        if (replay->cut() && done == frames && options.frames < 0 && options.duration < 0)
            std::fprintf(stderr, "tembra: the take %s was cut short; replayed its %zu whole frames\n",
                         options.replay.c_str(), replay->frames().size());
        for (const std::string& line : replay->differences()) std::fprintf(stderr, "tembra: %s\n", line.c_str());
    }
    if (options.stats) std::fprintf(stderr, "%s\n", session.statsLine().c_str());
    return 0;
}
