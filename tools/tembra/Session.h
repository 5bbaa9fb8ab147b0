#pragma once

#include "FrameSink.h"
#include "FrameStats.h"
#include "ImageLetterbox.h"
#include "MainDocument.h"
#include "RenderSurface.h"
#include "ScriptedInput.h"
#include "tools/tembra/Options.h"
#include "ScriptedMIDI.h"
#include "Watch.h"
#include "host/Evaluator.h"
#include "platform/input/InputEvents.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class PNGSequenceWriter;
class ShowCapture;
class ShowReplay;

// What `tembra run` and `tembra play` share: the document, the main
// document, scripted MIDI, the evaluator, --set, --watch, --save, --show,
// the audio clock and the frame sinks. It knows nothing about clocks or
// windows: whoever paces the frames calls frame() and hands it a surface.
class Session {
public:
    // Loads and checks the document and the options. Throws UsageError for
    // a command-line mistake, CompositionError for a bad document.
    // `text`, when given, is the document instead of the file's contents.
    explicit Session(const RunOptions& options, const std::string* text = nullptr);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Where pictures are drawn; none: the composition runs without drawing.
    void setSurface(std::unique_ptr<RenderSurface> surface);
    RenderSurface* surface() const { return surface_.get(); }
    void addSink(std::unique_ptr<FrameSink> sink);
    // Frames follow the wall clock (play, edit): patches do not wait for slow work.
    void setLive() { arguments_.live = true; }

    bool hasConsumers() const { return evaluator_->hasConsumers(); }
    // The image output shown instead of the consumers' drawing (--show), or
    // null.
    const QCGLImagePort* shownImage() const { return shown_; }
    // Shows the first image output of the document; false when it has none.
    bool showFirstImageOutput();
    // Frames have a picture: consumers draw or an image is shown.
    bool hasPicture() const { return hasConsumers() || shown_; }
    const CompositionDocument& document() const { return evaluator_->document(); }
    // The port "id.port" of the running composition, or null.
    QCPort* port(const std::string& endpoint) const { return evaluator_->port(endpoint); }
    // Raised when patches' ports came or went (a shader's followed its file).
    uint64_t portsRevision() const { return evaluator_->portsRevision(); }
    const Evaluator& evaluator() const { return *evaluator_; }
    // The keys and mouse the patches read: the window feeds them under play,
    // the document's "inputEvents" under run.
    InputEvents& inputEvents() { return inputEvents_; }

    // The take a live show is written to, or that plays back into this
    // session; each must outlive the session. A capture starts with the
    // document as it stands.
    void setCapture(ShowCapture* capture);
    void setReplay(ShowReplay* replay) { replay_ = replay; }

    // Called before a --watch line is printed (to erase a progress bar).
    void onPrint(std::function<void()> beforePrint) { beforePrint_ = std::move(beforePrint); }
    // Draws over each frame once the patches have drawn it and before the
    // sinks take it, with the surface's context current (the window's
    // error line).
    void onDrawn(std::function<void(int width, int height)> overDraw) { overDraw_ = std::move(overDraw); }

    void start();
    // The frame at composition time `time`: scripted MIDI, the patches (drawn
    // into the surface), --watch lines, --save files, then the sinks.
    // `clock` is how long the session has really run; the audio clock
    // follows it.
    void frame(long index, double time, double clock);
    // Loads the file again and hands it to the running composition (see
    // Evaluator::reload); call between frames. False, with `error` set to
    // one line and the old document still running, when the new one is bad.
    bool reload(std::string* error);
    // The same with a document's text instead of the file (the editor's edits).
    bool reloadText(const std::string& text, std::string* error);
    // Ends the audio clock at `clock` seconds, finishes the sinks and stops
    // the patches.
    void finish(double clock);
    // The --stats line for the frames so far.
    std::string statsLine() const { return stats_.line(); }

private:
    struct Save;
    bool reloadFrom(const std::string* text, std::string* error);
    void draw(long index, double time);
    // --watch, --save and --show look their ports up again.
    void rebindPorts();
    void applySets(Evaluator& evaluator) const;

    RunOptions options_;
    std::string shownEndpoint_;
    std::optional<MainDocument> mainDocument_;
    std::unique_ptr<ScriptedMIDI> scriptedMIDI_;
    std::unique_ptr<ScriptedInput> scriptedInput_;
    InputEvents inputEvents_;
    QCArguments arguments_{&inputEvents_, {}, false};
    std::unique_ptr<Evaluator> evaluator_;
    std::vector<Watch> watches_;
    std::vector<std::unique_ptr<Save>> saves_;
    const QCGLImagePort* shown_ = nullptr;
    std::unique_ptr<RenderSurface> surface_;
    ImageLetterbox letterbox_;  // after the surface: its texture goes first
    std::vector<std::unique_ptr<FrameSink>> sinks_;
    std::vector<uint8_t> pixels_;
    std::function<void()> beforePrint_;
    std::function<void(int, int)> overDraw_;
    ShowCapture* capture_ = nullptr;
    ShowReplay* replay_ = nullptr;
    long framesRun_ = 0;
    uint64_t portsRevision_ = 0;  // of the evaluator, when the ports were looked up
    double lastTime_ = -1;  // of the last frame; -1 before the first
    bool finished_ = false;
    FrameStats stats_;
};
