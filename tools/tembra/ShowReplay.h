#pragma once

#include "ReplayedSound.h"
#include "Take.h"
#include "platform/midi/CoreMIDI.h"

#include <map>
#include <optional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class Session;

// Plays a take back into a session (`tembra run --replay TAKE`): the
// document as it was at each frame, and the MIDI, keys and mouse at the
// frames they took effect at. The JACK MIDI sources the take heard exist
// again as virtual sources of the same names, from construction on, and
// live sound sources read the take's sound.
class ShowReplay {
public:
    struct Frame {
        long index;   // in the live show
        double time;  // composition time
    };
    enum class Timing {
        TakeFrames,  // the take's own frames: frame N of the replay is frame N of the show
        Resampled,   // frames at other times: each input lands at the first frame at or after its time
    };

    // Checks every record of the take. Null, with `error` naming the take,
    // the line and what is wrong.
    static std::unique_ptr<ShowReplay> open(const std::string& path, Timing timing, std::string* error);
    ~ShowReplay();
    ShowReplay(const ShowReplay&) = delete;
    ShowReplay& operator=(const ShowReplay&) = delete;

    // The document as the show started, and the --set values it ran with.
    const std::string& document() const { return document_; }
    const std::vector<std::string>& sets() const { return sets_; }
    // The frame rate the show was played at.
    double fps() const { return fps_; }
    // The frames the show ran, whole ones only.
    const std::vector<Frame>& frames() const { return frames_; }
    // Whether the take ends inside a frame (a crash).
    bool cut() const { return cut_; }

    // Called by the session at the start of a frame: hands it what took
    // effect by then.
    void beforeFrame(long index, double time, Session& session);

    // One line per kind of input that the take cannot bring back, with the
    // first frame of the replay that may differ because of it.
    std::vector<std::string> differences() const;

private:
    struct Input {
        enum class Kind { MIDI, OSC, Key, Mouse, Button, Document, Lost, SoundOpen, Sound } kind = Kind::Key;
        size_t line = 0;
        MIDIEndpointRef source = 0;
        std::vector<Byte> bytes;
        std::string text;  // key name, the document, or the patch that heard sound
        size_t frames = 0;  // of sound
        bool down = false;
        int button = 0;
        double x = 0, y = 0;
        uint16_t port = 0;  // OSC
        std::vector<std::string> arguments;
        std::optional<double> number;
    };
    struct Group {
        Frame frame;
        std::vector<Input> inputs;
    };
    struct Difference {
        long frame;  // of the replay
        std::string what;
    };
    ShowReplay() = default;
    bool read(const Take& take, std::string* error);
    MIDIEndpointRef sourceFor(const std::string& client, const std::string& port);
    // Notes what of the document cannot come back, from replay frame `frame` on.
    void noteDocument(const std::string& text, long frame);
    void note(const std::string& what, long frame);
    void apply(const Group& group, long frame, Session& session);

    Timing timing_ = Timing::TakeFrames;
    std::string path_;
    std::string document_;
    std::vector<std::string> sets_;
    double fps_ = 60;
    std::vector<Frame> frames_;
    std::vector<Group> groups_;
    ReplayedSound sound_;
    size_t next_ = 0;
    bool cut_ = false;
    std::map<std::pair<std::string, std::string>, MIDIEndpointRef> sources_;
    std::map<std::string, MIDIDeviceRef> devices_;
    std::vector<Difference> differences_;
    std::vector<std::string> unknownKinds_;  // records of a later tembra, passed over
    bool started_ = false;
};
