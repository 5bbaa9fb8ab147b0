#include "RunCommand.h"

#include "AudioOption.h"
#include "FramePattern.h"
#include "MainDocument.h"
#include "Progress.h"
#include "RenderFrames.h"
#include "ScriptedMIDI.h"
#include "host/Evaluator.h"
#include "host/PortValues.h"
#include "host/QCGLCGImage.h"
#include "platform/graphics/PNGFile.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted = true; }

// Ctrl-C ends the run after the current frame, so the patches still go
// through disable and cleanup; the previous handler comes back afterwards.
class InterruptHandler {
public:
    InterruptHandler() : previous_(std::signal(SIGINT, onInterrupt)) { interrupted = false; }
    ~InterruptHandler() { std::signal(SIGINT, previous_); }
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;

private:
    void (*previous_)(int);
};

// "id.port=value" -> ("id.port", "value")
std::pair<std::string, std::string> splitAssignment(const std::string& text, const char* option) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw UsageError(std::string(option) + " \"" + text + "\" must have the form id.port=value");
    return {text.substr(0, eq), text.substr(eq + 1)};
}

QCPort& findPort(const Evaluator& evaluator, const std::string& endpoint, const char* option) {
    QCPort* port = evaluator.port(endpoint);
    if (!port) throw UsageError(std::string(option) + ": the composition has no port \"" + endpoint + "\"");
    return *port;
}

struct Watch {
    std::string endpoint;
    const QCPort* port;
    std::string lastText;
    const void* lastObject = nullptr;
};

// Strings and images change when the object changes; other values when the
// value changes.
bool watchChanged(Watch& w, bool first) {
    bool changed = first;
    if (w.port->kind() == QCPortKind::String || w.port->kind() == QCPortKind::Image) {
        const void* object = w.port->kind() == QCPortKind::String
                                 ? static_cast<const void*>(static_cast<const QCStringPort*>(w.port)->stringValue().get())
                                 : static_cast<const void*>(static_cast<const QCGLImagePort*>(w.port)->imageValue().get());
        changed = changed || object != w.lastObject;
        w.lastObject = object;
        if (changed) w.lastText = describePortValue(*w.port);
    } else {
        const std::string text = describePortValue(*w.port);
        changed = changed || text != w.lastText;
        w.lastText = text;
    }
    return changed;
}

struct Save {
    std::string endpoint;
    const QCGLImagePort* port;
    FramePattern pattern;
};

void saveImage(const Save& save, long frame) {
    const ImageRef& image = save.port->imageValue();
    if (!image || !image->CGImage()) return;
    const std::string path = save.pattern.format(frame);
    const auto dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) std::filesystem::create_directories(dir);
    std::string error;
    if (!CGImageWriteToPNGFile(*image->CGImage(), path, &error)) throw std::runtime_error(error);
}

}  // namespace

int runComposition(const RunOptions& options) {
    // Bounds that keep every frame's time and the frame count finite.
    constexpr double kMinFPS = 1e-3, kMaxFPS = 1e6, kMaxFrames = 1e12;
    if (!(options.fps >= kMinFPS && options.fps <= kMaxFPS))
        throw UsageError("--fps must be a number from 0.001 to 1000000");
    long frames = 1;
    if (options.frames >= 0 && options.duration >= 0) throw UsageError("give --frames or --duration, not both");
    if (options.frames >= 0) frames = options.frames;
    if (options.duration >= 0) {
        const double count = std::ceil(options.duration * options.fps);
        if (!(count <= kMaxFrames)) throw UsageError("--duration is too long");
        frames = static_cast<long>(count);
    }
    const bool untilInterrupted = options.realtime && options.frames < 0 && options.duration < 0;

    const CompositionDocument document = CompositionDocument::load(options.file);
    // The composition is the application's first open document; values set
    // from the command line are changes not saved to its file.
    const MainDocument mainDocument(options.file, !options.sets.empty());
    // Scripted MIDI endpoints exist before the patches that look for them.
    ScriptedMIDI scriptedMIDI(document, options.printMIDI);
    Evaluator evaluator(document, QCNodeManager::shared());

    for (const std::string& set : options.sets) {
        const auto [endpoint, value] = splitAssignment(set, "--set");
        QCPort& port = findPort(evaluator, endpoint, "--set");
        if (!port.isInput()) throw UsageError("--set: \"" + endpoint + "\" is an output");
        try {
            setPortFromText(port, value, std::filesystem::current_path().string());
        } catch (const PortValueError& e) {
            throw UsageError(std::string("--set ") + endpoint + ": " + e.what());
        }
    }
    std::vector<Watch> watches;
    for (const std::string& endpoint : options.watches)
        watches.push_back(Watch{endpoint, &findPort(evaluator, endpoint, "--watch"), {}});
    std::vector<Save> saves;
    for (const std::string& save : options.saves) {
        const auto [endpoint, pattern] = splitAssignment(save, "--save");
        QCPort& port = findPort(evaluator, endpoint, "--save");
        if (port.kind() != QCPortKind::Image) throw UsageError("--save: \"" + endpoint + "\" is not an image port");
        try {
            saves.push_back(Save{endpoint, static_cast<const QCGLImagePort*>(&port), FramePattern(pattern)});
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--save: ") + e.what());
        }
    }

    RenderFrames rendering(evaluator, options.file, options.render);

    const InterruptHandler interruptHandler;
    Progress progress(options.realtime || untilInterrupted ? 0 : frames);
    evaluator.start();
    const auto startTime = std::chrono::steady_clock::now();
    double audioEnd = 0;  // seconds of sound the frames run so far stand for
    for (long frame = 0; (untilInterrupted || frame < frames) && !interrupted; ++frame) {
        const double time = static_cast<double>(frame) / options.fps;
        if (options.realtime)
            std::this_thread::sleep_until(startTime + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                          std::chrono::duration<double>(time)));
        advanceAudioClock(options.realtime
                              ? std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count()
                              : time);
        scriptedMIDI.playUntil(time);
        rendering.executeFrame(frame, time);
        for (Watch& w : watches)
            if (watchChanged(w, frame == 0)) {
                progress.clear();
                std::printf("frame %ld t=%.3f %s = %s\n", frame, time, w.endpoint.c_str(), w.lastText.c_str());
                std::fflush(stdout);
            }
        for (const Save& s : saves) saveImage(s, frame);
        progress.update(frame + 1);
        audioEnd = static_cast<double>(frame + 1) / options.fps;
    }
    finishAudioClock(audioEnd);
    progress.finish();
    evaluator.stop();
    return 0;
}
