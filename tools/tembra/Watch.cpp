#include "Watch.h"

#include "host/PortValues.h"

bool Watch::changed() {
    if (!port_) return false;
    bool changed = first_;
    first_ = false;
    if (port_->kind() == QCPortKind::Image) {
        const void* image = static_cast<const QCGLImagePort*>(port_)->imageValue().get();
        changed = changed || image != image_;
        image_ = image;
        if (changed) text_ = describePortValue(*port_);
    } else {
        std::string text = describePortValue(*port_);
        changed = changed || text != text_;
        text_ = std::move(text);
    }
    return changed;
}

void Watch::rebind(const QCPort* port) {
    if (port != port_) image_ = nullptr;
    // A port back after being gone shows its value again.
    if (!port_ && port) first_ = true;
    port_ = port;
}
