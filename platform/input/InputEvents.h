#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <set>
#include <string>

// The keys and the mouse as the patches of one session see them. The
// window (under `tembra play`) or the composition's script (under
// `tembra run`) feeds events between frames; at the start of each frame the
// host takes the queued ones in order, and the patches read the state
// during it. A press never goes unseen: when a key goes down and up again
// before a frame, the frame shows it down and the next one up.
//
// The patches also say which keys the composition listens to, so the
// window can leave its own use of them (Space pauses) to the composition.
//
// One thread only: the one that runs the frames.
class InputEvents {
public:
    enum class Button { Left, Middle, Right };
    static constexpr int kButtons = 3;
    // Events beyond this between two frames are dropped (a stalled frame
    // must not grow the queue without end).
    static constexpr size_t kMaxQueued = 4096;

    // Feeding. Key names are taken as KeyNames::normal gives them.
    void key(const std::string& name, bool down);
    // In the host's units: x from -1 to 1 across the picture, y from -h/w
    // (bottom) to h/w (top).
    void mouseMoved(double x, double y);
    // The same from window pixels (origin top left) of a window of the size given.
    void mouseMovedInWindow(double x, double y, int width, int height);
    void button(Button button, bool down);

    // Sees every event as it is fed, before the queue takes it (a captured
    // show writes them down). Null: none.
    class Observer {
    public:
        virtual ~Observer() = default;
        virtual void key(const std::string& name, bool down) = 0;
        virtual void mouseMoved(double x, double y) = 0;
        virtual void button(Button button, bool down) = 0;
    };
    void setObserver(Observer* observer) { observer_ = observer; }
    Observer* observer() const { return observer_; }

    // At the start of a frame: applies what was queued, up to the first
    // event that would undo a change this frame already shows.
    void beginFrame();

    // Reading, during a frame.
    bool isDown(const std::string& name) const { return down_.count(name) != 0; }
    // The key went down in this frame.
    bool pressed(const std::string& name) const { return pressed_.count(name) != 0; }
    double mouseX() const { return x_; }
    double mouseY() const { return y_; }
    bool isDown(Button b) const { return buttons_[index(b)]; }
    bool pressed(Button b) const { return buttonPressed_[index(b)]; }

    // A patch listening to a key says so every frame it runs.
    void claimKey(const std::string& name) { claimed_.insert(name); }
    // Whether the last frame or this one listened to the key.
    bool claimed(const std::string& name) const { return claimed_.count(name) || claimedBefore_.count(name); }

    uint64_t dropped() const { return dropped_; }

private:
    struct Event {
        enum class Kind { Key, Move, Button } kind;
        std::string name;
        int button = 0;
        bool down = false;
        double x = 0, y = 0;
    };
    static int index(Button b) { return static_cast<int>(b); }
    void push(Event event);

    std::deque<Event> queue_;
    std::set<std::string> down_, pressed_;
    bool buttons_[kButtons] = {};
    bool buttonPressed_[kButtons] = {};
    double x_ = 0, y_ = 0;
    std::set<std::string> claimed_, claimedBefore_;
    uint64_t dropped_ = 0;
    Observer* observer_ = nullptr;
};
