#include "PlayCommand.h"

#include "AudioOption.h"
#include "ErrorOverlay.h"
#include "FileWatch.h"
#include "InterruptHandler.h"
#include "PNGFrameSink.h"
#include "RunCommand.h"
#include "Session.h"
#include "ShowCapture.h"
#include "VideoFrameSink.h"
#include "WindowInput.h"
#include "WindowFrames.h"
#include "platform/display/Window.h"
#include "platform/foundation/NSLog.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Later than this, a frame is not caught up with: the schedule starts
// afresh from now, so a stall never turns into a burst of frames.
constexpr double kMaxLate = 0.1;

Clock::duration seconds(double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

// Composition time: wall time since the start, standing still while
// paused. Frames fall on a fixed grid of 1/fps from the last (re)start, so
// an undisturbed frame N is at exactly N/fps, as in `tembra run`.
class PlayClock {
public:
    explicit PlayClock(double fps) : period_(1.0 / fps), anchor_(Clock::now()), begin_(anchor_) {}

    Clock::time_point due() const { return anchor_ + seconds(static_cast<double>(sinceAnchor_) * period_); }
    double time() const { return base_ + static_cast<double>(sinceBase_) * period_; }
    double wallSeconds() const { return std::chrono::duration<double>(Clock::now() - begin_).count(); }
    bool paused() const { return paused_; }

    // Called once the frame is due; after a stall, starts the grid afresh.
    void catchUp() {
        const auto now = Clock::now();
        const double late = std::chrono::duration<double>(now - due()).count();
        if (late <= kMaxLate) return;
        if (!paused_) rebase(time() + late);
        anchor_ = now;
        sinceAnchor_ = 0;
    }
    void advance() {
        ++sinceAnchor_;
        if (!paused_) ++sinceBase_;
    }
    void togglePause() {
        rebase(time());
        paused_ = !paused_;
    }

private:
    void rebase(double time) {
        base_ = time;
        sinceBase_ = 0;
    }
    double period_;
    Clock::time_point anchor_, begin_;
    long sinceAnchor_ = 0;
    double base_ = 0;
    long sinceBase_ = 0;
    bool paused_ = false;
};

// Frames per second over the last second or so.
class RateMeter {
public:
    // True when a new figure is ready.
    bool frameShown() {
        ++frames_;
        const auto now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - since_).count();
        if (elapsed < 1.0) return false;
        rate_ = static_cast<double>(frames_) / elapsed;
        frames_ = 0;
        since_ = now;
        return true;
    }
    double rate() const { return rate_; }

private:
    Clock::time_point since_ = Clock::now();
    long frames_ = 0;
    double rate_ = 0;
};

void requireDisplay() {
    if (!Window::displayNamed())
        throw std::runtime_error("no display: set DISPLAY or WAYLAND_DISPLAY, or use tembra run --render");
}

std::vector<Window::Display> listDisplays() {
    requireDisplay();
    std::vector<Window::Display> displays;
    std::string error;
    if (!Window::displays(&displays, &error)) throw std::runtime_error("cannot reach the display: " + error);
    return displays;
}

// A projector that is not there is a typo in the command, found before
// anything loads.
void checkDisplay(int display) {
    if (display < 0) return;
    const size_t count = listDisplays().size();
    if (static_cast<size_t>(display) < count) return;
    throw UsageError("--display " + std::to_string(display) + ": " +
                     (count == 1   ? std::string("there is 1 display (0)")
                      : count == 0 ? std::string("there are no displays")
                                   : "there are " + std::to_string(count) + " displays (0 to " +
                                         std::to_string(count - 1) + ")") +
                     "; tembra play --list-displays lists them");
}

}  // namespace

int printDisplays(std::ostream& out) {
    for (const Window::Display& display : listDisplays())
        out << display.index << ' ' << display.width << 'x' << display.height << ' ' << display.name << '\n';
    return 0;
}

int playComposition(const PlayOptions& options) {
    const RunOptions& run = options.session;
    checkFrameRate(run.fps);
    std::pair<int, int> size{0, 0};
    if (!options.size.empty()) size = parseSize(options.size);
    checkDisplay(options.display);

    // Both outlive the session, which writes to the one and draws into the other.
    std::unique_ptr<ShowCapture> capture;
    if (!run.capture.empty()) {
        // Before the session, whose patches take MIDI as they are made.
        std::string error;
        capture = ShowCapture::create(run.capture, &error);
        if (!capture) throw std::runtime_error(error);
    }
    std::unique_ptr<Window> window;
    auto session = std::make_unique<Session>(run);
    session->setLive();
    if (!session->hasPicture() && !session->showFirstImageOutput())
        throw std::runtime_error(run.file + ": nothing to show: no patch draws and none has an image output");
    requireDisplay();
    if (options.size.empty()) size = {session->document().renderWidth, session->document().renderHeight};

    const std::string name = std::filesystem::path(run.file).stem().string();
    std::string error;
    window = Window::open(Window::Settings{size.first, size.second, name, options.fullscreen, options.display}, &error);
    if (!window)
        throw std::runtime_error("cannot open a window: " + error +
                                 " (is DISPLAY or WAYLAND_DISPLAY set? tembra run --render needs none)");
    session->setSurface(std::make_unique<WindowSurface>(*window));
    if (capture) session->setCapture(capture.get());
    if (!options.snapshot.empty()) session->addSink(std::make_unique<PNGFrameSink>(options.snapshot, "--snapshot"));
    VideoFrameSink* video = nullptr;
    if (!run.record.empty()) {
        // Live: encoded on a thread of its own, so the window never waits.
        auto sink = std::make_unique<VideoFrameSink>(run.record, session->surface()->width(),
                                                     session->surface()->height(), run.fps, run.recordQuality,
                                                     recordedAudioOutput(), true);
        video = sink.get();
        session->addSink(std::move(sink));
    }
    // Last, so that the sinks before it have the frame before it is shown.
    session->addSink(std::make_unique<WindowSink>(*window));

    // Errors on the picture; an audience sees them in full screen only when asked.
    ErrorOverlay overlay;
    session->onDrawn([&](int width, int height) {
        if (!window->fullscreen() || options.overlay) overlay.draw(window->context(), width, height);
    });
    const InterruptHandler interruptHandler;
    FileWatch fileWatch(run.file);
    session->start();
    PlayClock clock(run.fps);
    RateMeter meter;
    std::string reloadError;  // shown in the title until a reload succeeds
    const auto showTitle = [&] {
        std::string status;
        const std::string shown = reloadError.empty() ? overlay.current() : reloadError;
        if (!shown.empty()) {
            status = "error: " + shown;
        } else {
            char rate[32];
            std::snprintf(rate, sizeof rate, "%.1f fps", meter.rate());
            status = std::string(rate) + (clock.paused() ? ", paused" : "");
        }
        window->setTitle(name + " - " + status);
    };
    bool quit = false, reloadAsked = false;
    long shown = 0;
    for (long index = 0; !quit && (run.frames < 0 || index < run.frames); ++index) {
        // Until the frame is due, handle what the user does.
        while (!quit) {
            if (interruptHandler.interrupted()) quit = true;
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(clock.due() - Clock::now()).count();
            Window::Event event;
            // Short waits, so that Ctrl-C is seen soon.
            if (!window->waitEvent(static_cast<int>(std::clamp<long>(wait, 0, 100)), &event)) {
                if (Clock::now() >= clock.due()) break;
                continue;
            }
            if (event.kind == Window::Event::Kind::Close) quit = true;
            // The composition's keys and mouse; a key it listens to is not the window's.
            if (feedWindowInput(event, session->inputEvents()) || event.kind != Window::Event::Kind::Key) continue;
            switch (event.key) {
            case Window::Key::Escape:
            case Window::Key::Q: quit = true; break;
            case Window::Key::Space:
                clock.togglePause();
                if (capture) capture->paused(clock.paused());
                showTitle();
                break;
            case Window::Key::R: reloadAsked = true; break;
            case Window::Key::F:
            case Window::Key::F11: window->setFullscreen(!window->fullscreen()); break;
            case Window::Key::Other: break;
            }
        }
        if (quit) break;

        // Reloads happen between frames, never inside one.
        if (fileWatch.saved() || reloadAsked) {
            reloadAsked = false;
            if (session->reload(&reloadError)) {
                reloadError.clear();
                overlay.clear();
                NSLog("reloaded %s", run.file.c_str());
            } else {
                NSLog("%s", reloadError.c_str());
                overlay.show(reloadError);
            }
            showTitle();
        }

        clock.catchUp();
        overlay.watchThisThread(true);
        session->frame(index, clock.time(), clock.wallSeconds());
        overlay.watchThisThread(false);
        clock.advance();
        shown = index + 1;
        if (meter.frameShown()) showTitle();
    }
    session->finish(clock.wallSeconds());
    if (capture) std::fprintf(stderr, "tembra: captured %ld frames to %s\n", shown, capture->path().c_str());
    if (video) {
        std::fprintf(stderr, "tembra: %s\n", video->summary().c_str());
        if (!video->warning().empty()) std::fprintf(stderr, "tembra: %s\n", video->warning().c_str());
    }
    if (run.stats) std::fprintf(stderr, "%s\n", session->statsLine().c_str());
    return 0;
}
