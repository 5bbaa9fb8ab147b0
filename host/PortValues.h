#pragma once

#include "QCPort.h"

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>

// Moving values into ports from outside a patch: documents, connections and
// the command line. Index values from outside are clamped to the port's
// maximum.

// A value that does not suit the port; the message says what was expected.
class PortValueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True when an output of kind `from` may feed an input of kind `to`:
// the same kind, any two of index, number, boolean and string, an index,
// number or boolean into a colour (a grey), a colour into a number (its
// luminance).
bool canConnect(QCPortKind from, QCPortKind to);

// Hands the value of `from` to `to`, converting between index, number,
// boolean and string. Strings and images of the same kind pass as the very
// same object.
void transferValue(const QCPort& from, QCPort& to);

// A scalar port's value as a number: an index, a number, a boolean as 0 or 1,
// a string that reads as a number (0 when it does not), a colour's luminance.
double portNumber(const QCPort& port);

// Sets a number on an index (rounded towards zero, clamped), number, boolean
// (true unless 0), string or colour (an opaque grey) port.
void setPortNumber(QCPort& port, double value);

// A document value: a JSON string, number, boolean or null matching the
// port's kind; a colour port takes [r, g, b, a], [r, g, b] or "#rrggbb(aa)"; an image port takes the path of a PNG file, and a string port
// that names a file or folder a path, both relative to `directory` (the
// document's folder). Throws PortValueError.
void setPortFromJSON(QCPort& port, const nlohmann::ordered_json& value, const std::string& directory);

// `text` written in a document for `port`: relative to `directory` when the
// port names a file or folder and the text is a relative path (not absolute,
// not a URL such as file:// or http://); otherwise as it is.
std::string resolveDocumentPath(const QCPort& port, const std::string& text, const std::string& directory);

// A command-line value, read according to the port's kind. Throws
// PortValueError.
void setPortFromText(QCPort& port, const std::string& text, const std::string& directory);

// The value as one line of text: numbers as numbers, strings JSON-quoted,
// colours as [r, g, b, a], images as "image WxH" (or "null").
std::string describePortValue(const QCPort& port);
