#pragma once

#include "host/QCPort.h"

#include <string>

// --watch id.port: tells when the port shows something new to a person.
// Images change when a new image is set; every other kind when its text
// changes, so a string set anew with the same text is no change.
class Watch {
public:
    Watch(std::string endpoint, const QCPort* port) : endpoint_(std::move(endpoint)), port_(port) {}

    // True on the first call and whenever the port changed since the last;
    // never while the port is gone (null).
    bool changed();
    const std::string& endpoint() const { return endpoint_; }
    const std::string& text() const { return text_; }
    // After a reload the port may belong to a new patch, or be gone.
    void rebind(const QCPort* port);

private:
    std::string endpoint_;
    const QCPort* port_;
    bool first_ = true;
    std::string text_;
    const void* image_ = nullptr;
};
