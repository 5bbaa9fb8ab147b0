#include "WindowInput.h"

#include "platform/input/KeyNames.h"

bool feedWindowInput(const Window::Event& event, InputEvents& input) {
    using Kind = Window::Event::Kind;
    if (event.kind == Kind::Key || event.kind == Kind::KeyUp) input.key(event.keyName, event.kind == Kind::Key);
    if (event.kind == Kind::MouseMotion || event.kind == Kind::MouseButton)
        input.mouseMovedInWindow(event.x, event.y, event.width, event.height);
    if (event.kind == Kind::MouseButton) input.button(static_cast<InputEvents::Button>(event.button), event.down);
    return event.kind == Kind::Key && input.claimed(KeyNames::normal(event.keyName));
}
