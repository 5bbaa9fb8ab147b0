#pragma once

#include "CapturedSound.h"
#include "TakeWriter.h"
#include "platform/input/InputEvents.h"
#include "tools/tembra/Options.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

class CompositionDocument;

// Writes down a live show as it runs (`--capture TAKE`): whatever came from
// outside the composition, each with the frame it took effect at, and the
// frames' times. What JACK MIDI sources and OSC senders send is held from
// creation on and reaches the patches at the start of a frame, the frame it
// is written with, so that a replay hands it over at exactly the same point.
class ShowCapture : public InputEvents::Observer {
public:
    // Creates the take (see TakeWriter::create) and starts holding JACK
    // MIDI; do it before the session exists, so no message reaches a patch
    // unwritten. Null with `error` set when the take cannot be made.
    static std::unique_ptr<ShowCapture> create(const std::string& path, std::string* error);
    ~ShowCapture() override;
    ShowCapture(const ShowCapture&) = delete;
    ShowCapture& operator=(const ShowCapture&) = delete;

    // The first record: the document as the show starts and the options
    // that shape it.
    void start(const RunOptions& options, const CompositionDocument& document);
    // Before the frame: held MIDI goes to the patches, and what happened
    // since the last frame is written with this one.
    void beforeFrame(long index, double time);
    // After the frame: its time (and the wall clock, for reference).
    void afterFrame(long index, double time, double clock);
    // A reload ("reload") or an editor's edit ("edit") was taken: the new
    // document whole.
    void documentChanged(const char* kind, const std::string& text);
    void paused(bool paused);
    // The show ended normally after `frames` frames; writes all to the file.
    void finish(long frames);

    const std::string& path() const { return writer_->path(); }

    // InputEvents::Observer
    void key(const std::string& name, bool down) override;
    void mouseMoved(double x, double y) override;
    void button(InputEvents::Button button, bool down) override;

private:
    explicit ShowCapture(std::unique_ptr<TakeWriter> writer);
    void stamp(nlohmann::json record, long index, double time);
    void reportWriteError();

    std::unique_ptr<TakeWriter> writer_;
    CapturedSound sound_;
    std::vector<nlohmann::json> pending_;  // since the last frame, in order
    uint64_t midiLost_ = 0;
    long lastIndex_ = -1;
    double lastTime_ = 0;
    bool reported_ = false;
};
