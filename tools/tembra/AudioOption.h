#pragma once

#include "platform/audio/OfflineAudioDevice.h"

#include <memory>
#include <string>

// The --audio option of `tembra run`: "jack", "wav:PATH" or "none"; empty
// keeps the default (JACK when a server runs, otherwise no output device).
// A run that records a video file (`recording`) needs its sound on
// composition time: its default is then an offline device without a file,
// and JACK is refused. Throws UsageError for anything else or a WAV file
// that cannot be written.
void configureAudioOutput(const std::string& choice, bool recording = false);

// The offline output (with or without a WAV file) that a recording listens
// to; null when the output is JACK or none.
std::shared_ptr<OfflineAudioDevice> offlineAudioOutput();

// An offline output has no clock of its own: the run moves it to the
// composition time (or the wall clock with --realtime) before each frame...
void advanceAudioClock(double seconds);
// ...and at the end to the run's full length, then closes a WAV file.
void finishAudioClock(double seconds);
