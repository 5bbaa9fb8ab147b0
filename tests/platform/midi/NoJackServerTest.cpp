#include "platform/midi/CoreMIDI.h"
#include "platform/midi/VirtualMIDI.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Runs in a process of its own, so that this is the layer's first contact
// with JACK.
TEST(NoJackServer, OneLogLineAndTheVirtualBackendStillWorks) {
    setenv("JACK_DEFAULT_SERVER", "tembra-no-such-server", 1);
    LogCapture log;
    MIDIClientRef client = 0;
    ASSERT_EQ(MIDIClientCreate("alone", nullptr, nullptr, &client), noErr);
    const MIDIEndpointRef source = VirtualMIDI::createSource(0, "Virtual");
    EXPECT_EQ(MIDIGetNumberOfSources(), 1u);
    EXPECT_EQ(MIDIGetSource(0), source);
    MIDIClientRef second = 0;
    MIDIClientCreate("again", nullptr, nullptr, &second);
    EXPECT_EQ(log.count("MIDI: no JACK server running; only virtual MIDI endpoints are available"), 1u);
    EXPECT_EQ(log.lines().size(), 1u);
}

}  // namespace
