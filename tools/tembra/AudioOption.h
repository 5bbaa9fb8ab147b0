#pragma once

#include "platform/audio/AudioDevice.h"

#include <memory>
#include <string>

// Where a recording's sound comes from, which decides the default output.
enum class RecordedSound {
    None,               // nothing is recorded
    OnCompositionTime,  // `run --record`: an offline device, as fast as the frames; JACK cannot keep up
    Live,               // `play --record`: JACK when a server runs (heard and recorded), else offline
};

// The --audio option: "jack", "wav:PATH" or "none"; empty keeps the default
// (JACK when a server runs, otherwise no output device; for a recording as
// RecordedSound says). Throws UsageError for anything else, for JACK when a
// recording follows composition time, or for a WAV file that cannot be
// written.
void configureAudioOutput(const std::string& choice, RecordedSound recorded = RecordedSound::None);

// The output whose played sound a recording listens to (offline, with or
// without a WAV file, or JACK); null when there is none.
std::shared_ptr<AudioDevice> recordedAudioOutput();

// An offline output has no clock of its own: the run moves it to the
// composition time (or the wall clock with --realtime and play) before each
// frame; JACK's played sound is collected for its listeners then...
void advanceAudioClock(double seconds);
// ...and at the end to the run's full length, then closes a WAV file.
void finishAudioClock(double seconds);
