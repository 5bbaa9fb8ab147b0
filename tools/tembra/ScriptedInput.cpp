#include "ScriptedInput.h"

#include "host/NearestName.h"
#include "platform/input/KeyNames.h"

#include <algorithm>
#include <cmath>

namespace {

double number(const CompositionDocument& document, const LocatedValue& value, const std::string& what) {
    if (!value.json().is_number() || !std::isfinite(value.json().get<double>()))
        document.fail(value.line(), what + " must be a number");
    return value.json().get<double>();
}

}  // namespace

ScriptedInput::ScriptedInput(const CompositionDocument& document) {
    const auto events = document.root().member("inputEvents");
    if (!events) return;
    if (!events->json().is_array()) document.fail(events->line(), "\"inputEvents\" must be an array");
    for (size_t i = 0; i < events->size(); ++i) {
        const LocatedValue item = events->item(i);
        const std::string what = "input event " + std::to_string(i + 1);
        if (!item.json().is_object()) document.fail(item.line(), what + " must be an object");
        Event event;
        const auto time = item.member("time");
        if (!time || !time->json().is_number() || !std::isfinite(time->json().get<double>()) ||
            time->json().get<double>() < 0)
            document.fail(time ? time->line() : item.line(), what + ": \"time\" must be a non-negative number of seconds");
        event.time = time->json().get<double>();

        const auto key = item.member("key");
        const auto button = item.member("button");
        const auto x = item.member("x"), y = item.member("y");
        if (key && button) document.fail(item.line(), what + " has both \"key\" and \"button\"; give one");
        if (!key && !button && !x && !y)
            document.fail(item.line(), what + " needs a \"key\", a \"button\" or a mouse position \"x\", \"y\"");
        if (!!x != !!y) document.fail(item.line(), what + ": a mouse position needs both \"x\" and \"y\"");
        if (key && (x || y)) document.fail(item.line(), what + ": a key event has no mouse position");
        if (x) {
            event.x = number(document, *x, what + ": \"x\"");
            event.y = number(document, *y, what + ": \"y\"");
        }
        if (key) {
            if (!key->json().is_string()) document.fail(key->line(), what + ": \"key\" must be a key name such as \"space\"");
            event.key = KeyNames::normal(key->json().get<std::string>());
            if (!KeyNames::known(event.key))
                document.fail(key->line(), what + ": unknown key " + quotedShort(key->json().get<std::string>()) +
                                               didYouMean(event.key, std::vector<std::string_view>(
                                                                             KeyNames::all().begin(), KeyNames::all().end())));
        }
        if (button) {
            const std::string name = button->json().is_string() ? button->json().get<std::string>() : "";
            if (name == "left") event.button = InputEvents::Button::Left;
            else if (name == "middle") event.button = InputEvents::Button::Middle;
            else if (name == "right") event.button = InputEvents::Button::Right;
            else document.fail(button->line(), what + ": \"button\" must be \"left\", \"middle\" or \"right\"");
        }
        if (key || button) {
            const auto down = item.member("down");
            if (!down || !down->json().is_boolean())
                document.fail(down ? down->line() : item.line(), what + ": \"down\" must be true or false");
            event.down = down->json().get<bool>();
        } else if (item.member("down")) {
            document.fail(item.member("down")->line(), what + ": \"down\" belongs to a key or a button");
        }
        events_.push_back(std::move(event));
    }
    std::stable_sort(events_.begin(), events_.end(), [](const Event& a, const Event& b) { return a.time < b.time; });
}

void ScriptedInput::playUntil(double time, InputEvents& input) {
    // The same tolerance as scripted MIDI: an event at 0.5 s belongs to the frame computed as 0.5.
    for (; next_ < events_.size() && events_[next_].time <= time + 1e-9; ++next_) {
        const Event& e = events_[next_];
        if (e.x) input.mouseMoved(*e.x, *e.y);
        if (!e.key.empty()) input.key(e.key, e.down);
        if (e.button) input.button(*e.button, e.down);
    }
}

void ScriptedInput::skipUntil(double time) {
    while (next_ < events_.size() && events_[next_].time <= time + 1e-9) ++next_;
}
