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

// Host context handed to setup/enable/disable/cleanup and returned by setup.
class QCContext;

// Arguments of an execution; no patch of the bundle reads them.
struct QCArguments {};
