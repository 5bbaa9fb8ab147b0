#pragma once

#include "platform/display/Window.h"
#include "platform/input/InputEvents.h"

// Hands a window event to the composition's keys and mouse. True when the
// composition takes it for itself: a key that one of its patches listens
// to, which the window then leaves alone (Space does not pause).
bool feedWindowInput(const Window::Event& event, InputEvents& input);
