#include "MIDIPatchTesting.h"
#include "patches/midi/TembraMIDIClock.h"

#include <gtest/gtest.h>

namespace {

constexpr Byte kClock = 0xF8, kStart = 0xFA, kContinue = 0xFB, kStop = 0xFC;

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        VirtualMIDI::reset();
        clock = VirtualMIDI::createSource(VirtualMIDI::createEntity(VirtualMIDI::createDevice("Clock Box"), "E"), "Out");
    }
    void TearDown() override { VirtualMIDI::reset(); }

    static void clocks(MIDIEndpointRef source, int n) {
        for (int i = 0; i < n; ++i) VirtualMIDI::inject(source, {kClock});
        VirtualMIDI::flush();
    }
    static std::vector<bool> signals(const TembraMIDIClock& patch) {
        return {patch.outputStartSignal.booleanValue(), patch.outputStopSignal.booleanValue(),
                patch.outputContinueSignal.booleanValue()};
    }

    MIDIEndpointRef clock = 0;
};

TEST_F(ClockTest, CountsClocksBetweenStartAndStopAsBeatsAndMeasures) {
    auto patch = startPatch<TembraMIDIClock>();
    evaluate(*patch);
    clocks(clock, 10);  // before any Start
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 0u);

    send(clock, {kStart});
    clocks(clock, 48);
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 2u);
    EXPECT_DOUBLE_EQ(patch->outputMeasures.doubleValue(), 0.5);
    clocks(clock, 48);
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 4u);
    EXPECT_DOUBLE_EQ(patch->outputMeasures.doubleValue(), 1.0);
    clocks(clock, 4);
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 4u);
    EXPECT_DOUBLE_EQ(patch->outputMeasures.doubleValue(), 100.0 / 96.0);

    // Stopped: clocks are ignored; Continue resumes from the count at Stop.
    send(clock, {kStop});
    clocks(clock, 30);
    send(clock, {kContinue});
    clocks(clock, 20);
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 5u);
    EXPECT_DOUBLE_EQ(patch->outputMeasures.doubleValue(), 120.0 / 96.0);

    // Start resets the count; the outputs keep the old values until the next clock.
    send(clock, {kStart});
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 5u);
    clocks(clock, 1);
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 0u);
    EXPECT_DOUBLE_EQ(patch->outputMeasures.doubleValue(), 1.0 / 96.0);

    // A clock byte inside a longer packet is not a clock.
    send(clock, {kClock, kClock});
    send(clock, {kClock, 0});
    evaluate(*patch);
    EXPECT_DOUBLE_EQ(patch->outputMeasures.doubleValue(), 1.0 / 96.0);
}

TEST_F(ClockTest, EachSignalShowsForOneEvaluationOfOneInstance) {
    auto first = startPatch<TembraMIDIClock>("first");
    auto second = startPatch<TembraMIDIClock>("second");
    evaluate(*first);
    evaluate(*second);

    send(clock, {kStart});
    send(clock, {kStart});
    evaluate(*first);
    evaluate(*second);
    EXPECT_EQ(signals(*first), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(signals(*second), (std::vector<bool>{false, false, false}));
    evaluate(*first);
    EXPECT_EQ(signals(*first), (std::vector<bool>{false, false, false}));

    send(clock, {kStop});
    evaluate(*second);
    evaluate(*first);
    EXPECT_EQ(signals(*second), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(signals(*first), (std::vector<bool>{false, false, false}));

    // Continue replaces a Stop not shown yet.
    send(clock, {kStop});
    send(clock, {kContinue});
    evaluate(*first);
    EXPECT_EQ(signals(*first), (std::vector<bool>{false, false, true}));
    evaluate(*first);
    EXPECT_EQ(signals(*first), (std::vector<bool>{false, false, false}));
}

TEST_F(ClockTest, ConstructionStopsTheSharedCount) {
    auto first = startPatch<TembraMIDIClock>("first");
    evaluate(*first);
    send(clock, {kStart});
    clocks(clock, 24);
    auto second = startPatch<TembraMIDIClock>("second");
    second->inputFilter.setStringValue(newString("nothing is called this"));
    evaluate(*second);
    clocks(clock, 24);
    evaluate(*first);
    EXPECT_EQ(first->outputBeats.indexValue(), 1u);
    send(clock, {kContinue});
    clocks(clock, 24);
    evaluate(*first);
    EXPECT_EQ(first->outputBeats.indexValue(), 1u);
    EXPECT_DOUBLE_EQ(first->outputMeasures.doubleValue(), 24.0 / 96.0);
}

TEST_F(ClockTest, TheFilterSelectsByLiteralSubstringAndReconnectsOnlyWhenItsTextChanges) {
    const MIDIEndpointRef drums = VirtualMIDI::createSource(0, "Drum.*");
    const MIDIEndpointRef unnamed = VirtualMIDI::createSource(0, std::nullopt);
    auto patch = startPatch<TembraMIDIClock>();
    patch->inputFilter.setStringValue(newString("Clock"));
    evaluate(*patch);

    send(clock, {kStart});
    clocks(clock, 24);
    clocks(drums, 24);
    clocks(unnamed, 24);
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 2u);

    // Case-sensitive and literal.
    patch->inputFilter.setStringValue(newString("clock"));
    evaluate(*patch);
    send(clock, {kStart});
    clocks(clock, 24);
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 2u);
    // Literal: ".*" is only found in the name that holds it.
    patch->inputFilter.setStringValue(newString(".*"));
    evaluate(*patch);
    clocks(clock, 24);
    clocks(drums, 24);
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 3u);

    // The same text in a new object: no reconnection, so a new source stays unheard.
    patch->inputFilter.setStringValue(newString("Drum"));
    evaluate(*patch);
    const MIDIEndpointRef drums2 = VirtualMIDI::createSource(0, "Drum 2");
    patch->inputFilter.setStringValue(newString("Drum"));
    evaluate(*patch);
    send(drums, {kStart});
    clocks(drums2, 24);
    clocks(drums, 1);
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 0u);
    EXPECT_DOUBLE_EQ(patch->outputMeasures.doubleValue(), 1.0 / 96.0);

    // An empty filter hears every source.
    patch->inputFilter.setStringValue(newString(""));
    evaluate(*patch);
    clocks(drums2, 23);
    clocks(clock, 24);
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 2u);

    // Disabled, the patch hears nothing.
    patch->disable(nullptr);
    clocks(clock, 48);
    evaluate(*patch);
    EXPECT_EQ(patch->outputBeats.indexValue(), 2u);
}

}  // namespace
