#include "platform/input/InputEvents.h"

#include "platform/input/KeyNames.h"

void InputEvents::push(Event event) {
    if (queue_.size() >= kMaxQueued) {
        ++dropped_;
        return;
    }
    queue_.push_back(std::move(event));
}

void InputEvents::key(const std::string& name, bool down) {
    if (observer_) observer_->key(KeyNames::normal(name), down);
    push(Event{Event::Kind::Key, KeyNames::normal(name), 0, down});
}

void InputEvents::mouseMoved(double x, double y) {
    if (observer_) observer_->mouseMoved(x, y);
    // Many moves between two frames are one move.
    if (!queue_.empty() && queue_.back().kind == Event::Kind::Move) {
        queue_.back().x = x;
        queue_.back().y = y;
        return;
    }
    push(Event{Event::Kind::Move, {}, 0, false, x, y});
}

void InputEvents::mouseMovedInWindow(double x, double y, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const double aspect = static_cast<double>(height) / width;
    mouseMoved(2.0 * x / width - 1.0, (1.0 - 2.0 * y / height) * aspect);
}

void InputEvents::button(Button b, bool down) {
    if (observer_) observer_->button(b, down);
    push(Event{Event::Kind::Button, {}, index(b), down});
}

void InputEvents::beginFrame() {
    pressed_.clear();
    for (bool& p : buttonPressed_) p = false;
    claimedBefore_ = std::move(claimed_);
    claimed_.clear();

    std::set<std::string> changedKeys;
    bool changedButtons[kButtons] = {};
    while (!queue_.empty()) {
        const Event& e = queue_.front();
        if (e.kind == Event::Kind::Key) {
            const bool isDownNow = down_.count(e.name) != 0;
            if (isDownNow != e.down) {
                // The key changed already this frame: the rest waits, in order.
                if (changedKeys.count(e.name)) break;
                changedKeys.insert(e.name);
                if (e.down) {
                    down_.insert(e.name);
                    pressed_.insert(e.name);
                } else {
                    down_.erase(e.name);
                }
            }
        } else if (e.kind == Event::Kind::Button) {
            if (buttons_[e.button] != e.down) {
                if (changedButtons[e.button]) break;
                changedButtons[e.button] = true;
                buttons_[e.button] = e.down;
                if (e.down) buttonPressed_[e.button] = true;
            }
        } else {
            x_ = e.x;
            y_ = e.y;
        }
        queue_.pop_front();
    }
}
