#pragma once

#include <string>

// The --audio option of `tembra run`: "jack", "wav:PATH" or "none"; empty
// keeps the default (JACK when a server runs, otherwise no output device).
// Throws UsageError for anything else or a WAV file that cannot be written.
void configureAudioOutput(const std::string& choice);

// A WAV output has no clock of its own: the run moves it to the composition
// time (or the wall clock with --realtime) before each frame...
void advanceAudioClock(double seconds);
// ...and at the end to the run's full length, then closes the file.
void finishAudioClock(double seconds);
