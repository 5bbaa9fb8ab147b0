#pragma once

#include "host/CompositionDocument.h"
#include "platform/input/InputEvents.h"

#include <optional>
#include <string>
#include <vector>

// The keys and mouse a composition scripts for itself ("inputEvents"):
//   {"time": 1.0, "key": "space", "down": true}
//   {"time": 1.5, "x": 0.25, "y": -0.5}                  (host units)
//   {"time": 2.0, "button": "left", "down": true}        (x and y may come too)
// Each is fed to the session's input just before the first frame at or
// after its time.
class ScriptedInput {
public:
    // Checks the document's "inputEvents" (CompositionError naming the file
    // and line).
    explicit ScriptedInput(const CompositionDocument& document);

    // Before the frame at composition time `time`.
    void playUntil(double time, InputEvents& input);
    // After a reload: the script this one replaces has played these.
    void skipUntil(double time);

private:
    struct Event {
        double time = 0;
        std::string key;
        std::optional<InputEvents::Button> button;
        bool down = false;
        std::optional<double> x, y;
    };
    std::vector<Event> events_;
    size_t next_ = 0;
};
