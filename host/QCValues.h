#pragma once

#include <memory>
#include <string>

class QCGLCGImage;

// Values handed between ports are immutable objects; identity matters
// ("the same value" is the same object), so they travel as shared pointers.
using StringRef = std::shared_ptr<const std::string>;
using ImageRef = std::shared_ptr<const QCGLCGImage>;

// A new string object: equal text made twice gives two distinct values.
inline StringRef newString(std::string text) { return std::make_shared<const std::string>(std::move(text)); }

// A colour value: straight (not premultiplied) red, green, blue and alpha,
// each finite, usually in 0..1.
struct QCColor {
    double red = 0, green = 0, blue = 0, alpha = 1;
    bool operator==(const QCColor&) const = default;
};

// Host context handed to setup/enable/disable/cleanup and returned by setup.
class QCContext;

class InputEvents;

// Arguments of an execution: what the host hands every patch of a frame.
// The keys and mouse of the session, when it has them (a composition
// rendered inside another gets none).
struct QCArguments {
    InputEvents* inputEvents = nullptr;
    // The folder of the composition, for paths a patch reads out of text of
    // its own (an audio source "file:song.wav"); empty: the working folder.
    std::string directory;
    // Frames follow the wall clock (play, edit, run --realtime): a patch
    // shows what is ready instead of waiting for slow work such as decoding.
    bool live = false;
};
