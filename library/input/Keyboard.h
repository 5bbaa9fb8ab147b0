#pragma once

#include "host/QCPatch.h"

// A key of the player's keyboard (or of the composition's script under
// `tembra run`): whether it is down, and a trigger on the frame it goes down.
// Listening to a key takes it from the window: Space no longer pauses.
class Keyboard : public QCPatch {
public:
    static constexpr const char* className = "Keyboard";
    static constexpr const char* classDescription = "A key: down while held, and a trigger when pressed";
    static int executionMode() { return 2; }

    explicit Keyboard(const std::string& identifier);
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputKey{this, "inputKey",
                          {.description = "The key by name: \"space\", \"a\", \"1\", \"left\", \"return\", \"f5\", "
                                          "\"left shift\", \"keypad 1\""}};
    QCBooleanPort outputDown{this, "outputDown", {.description = "True while the key is held down"}};
    QCBooleanPort outputPressed{this, "outputPressed", {.description = "True for the one frame in which the key went down"}};

private:
    StringRef currentKey;
    std::string name_;  // normal form of the key, empty when unknown
};
