#include "MIDIPatchTesting.h"
#include "patches/midi/TembraMIDIClock.h"
#include "patches/midi/TembraMIDIInputCC.h"
#include "patches/midi/TembraMIDIOutputCC.h"
#include "patches/midi/TembraMIDIOutputNote.h"
#include "patches/regex/CSRegexStringOperations.h"
#include "tests/platform/midi/JackPeer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <thread>

namespace {

// Evaluates `patch` until `done` holds or five seconds have passed.
bool evaluateUntil(QCPatch& patch, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        evaluate(patch);
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool logHas(const LogCapture& log, const std::string& line) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!log.contains(line)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class MIDIPatchesJackTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!jackServerRunning()) {
            if (std::getenv("CI")) FAIL() << "no JACK server: the JACK tests must run in CI";
            GTEST_SKIP() << "no JACK server running";
        }
        // The peer exists before the MIDI layer first looks at JACK.
        peer = std::make_unique<JackPeer>();
        ASSERT_TRUE(peer->isOpen());
        VirtualMIDI::reset();
    }

    // A pattern matching exactly the peer's port `shortName`.
    std::string exactly(const std::string& shortName) const {
        return "^" + *escapedPattern(peer->name() + " " + shortName) + "$";
    }

    std::unique_ptr<JackPeer> peer;
};

TEST_F(MIDIPatchesJackTest, ControlChangesAndNotesArriveAtAJackClientByteExact) {
    auto cc = startPatch<TembraMIDIOutputCC>();
    cc->inputPortName.setStringValue(newString(exactly("in")));
    evaluate(*cc);
    cc->inputChannel.setIndexValue(10);
    cc->inputController.setIndexValue(74);
    cc->inputValue.setIndexValue(127);
    evaluate(*cc);
    EXPECT_EQ(peer->received(2), (std::vector<std::vector<uint8_t>>{{0xB0, 0x01, 0x00}, {0xB9, 74, 127}}));

    auto note = startPatch<TembraMIDIOutputNote>();
    note->inputGate.setBooleanValue(true);
    evaluate(*note);
    note->inputGate.setBooleanValue(false);
    evaluate(*note);
    EXPECT_EQ(peer->received(4), (std::vector<std::vector<uint8_t>>{
                                     {0xB0, 0x01, 0x00}, {0xB9, 74, 127}, {0x90, 0x30, 0x40}, {0x80, 0x30, 0x40}}));
}

TEST_F(MIDIPatchesJackTest, AJackClientsControlChangesReachTheControllerInputIncludingALatePort) {
    LogCapture log;
    auto patch = startPatch<TembraMIDIInputCC>();
    patch->inputPortName.setStringValue(newString("^" + *escapedPattern(peer->name())));
    patch->inputController.setIndexValue(7);
    evaluate(*patch);
    EXPECT_TRUE(log.contains("\t* \"" + peer->name() + " out\""));

    ASSERT_TRUE(peer->waitUntilConnected(0));
    peer->send({0xB0, 7, 99});
    EXPECT_TRUE(evaluateUntil(*patch, [&] { return patch->outputValue.indexValue() == 99; }));

    // A port registered after the first evaluation is connected through the notification.
    ASSERT_TRUE(peer->addOutput("late"));
    ASSERT_TRUE(logHas(log, "TembraMIDIInputCCNotifyProc() kMIDIMsgObjectAdded(\"" + peer->name() + " late\")"));
    ASSERT_TRUE(peer->waitUntilConnected(1));
    peer->send({0xB0, 7, 42}, 1);
    EXPECT_TRUE(evaluateUntil(*patch, [&] { return patch->outputValue.indexValue() == 42; }));
}

TEST_F(MIDIPatchesJackTest, AJackClientsBeatClockReachesTheClock) {
    auto patch = startPatch<TembraMIDIClock>();
    patch->inputFilter.setStringValue(newString(peer->name()));
    evaluate(*patch);

    ASSERT_TRUE(peer->waitUntilConnected(0));
    peer->send({0xFA});
    for (int i = 0; i < 48; ++i) peer->send({0xF8});
    bool started = false;
    EXPECT_TRUE(evaluateUntil(*patch, [&] {
        started = started || patch->outputStartSignal.booleanValue();
        return patch->outputBeats.indexValue() == 2;
    }));
    EXPECT_TRUE(started);
    EXPECT_DOUBLE_EQ(patch->outputMeasures.doubleValue(), 0.5);

    peer->send({0xFC});
    EXPECT_TRUE(evaluateUntil(*patch, [&] { return patch->outputStopSignal.booleanValue(); }));
}

}  // namespace

namespace {

TEST_F(MIDIPatchesJackTest, ASourceThatClosesNormallyIsReportedOnce) {
    LogCapture log;
    auto patch = startPatch<TembraMIDIInputCC>();
    evaluate(*patch);
    const std::string removed = "TembraMIDIInputCCNotifyProc() kMIDIMsgObjectRemoved(\"" + peer->name() + " out\")";

    // The client closes its ports and leaves, as a program does when it quits.
    peer.reset();
    ASSERT_TRUE(logHas(log, removed));

    // Announcements arrive in order: once a later one is logged, a second
    // report of the first would have been logged before it.
    peer = std::make_unique<JackPeer>();
    ASSERT_TRUE(peer->addOutput("marker"));
    ASSERT_TRUE(logHas(log, "TembraMIDIInputCCNotifyProc() kMIDIMsgObjectAdded(\"" + peer->name() + " marker\")"));
    jack_port_unregister(peer->client(), jack_port_by_name(peer->client(), (peer->name() + ":marker").c_str()));
    ASSERT_TRUE(logHas(log, "TembraMIDIInputCCNotifyProc() kMIDIMsgObjectRemoved(\"" + peer->name() + " marker\")"));
    EXPECT_EQ(log.count(removed), 1u);
}

}  // namespace

namespace {

TEST_F(MIDIPatchesJackTest, EveryOneFrameRunDeliversWhatItSent) {
    TempDir dir;
    const std::string composition = dir.write("send.json", R"({
  "patches": [
    {"id": "note", "class": "TembraMIDIOutputNote", "inputs": {"inputGate": true}},
    {"id": "knob", "class": "TembraMIDIOutputCC",
     "inputs": {"inputPortName": ")" + exactly("in") + R"(", "inputController": 7, "inputValue": 99}}
  ]
})");
    constexpr int kRuns = 10;
    for (int run = 0; run < kRuns; ++run) {
        const CommandResult result = runCommand(tembraProgram() + " run " + composition);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err.find("not delivered"), std::string::npos) << result.err;
    }
    const std::vector<Bytes> received = peer->received(2 * kRuns);
    EXPECT_EQ(std::count(received.begin(), received.end(), Bytes{0x90, 0x30, 0x40}), kRuns);
    EXPECT_EQ(std::count(received.begin(), received.end(), Bytes{0xB0, 7, 99}), kRuns);
}

}  // namespace

namespace {

TEST_F(MIDIPatchesJackTest, EachClockIsCountedOnceHoweverManyClockPatchesHearIt) {
    // Different filters, both selecting the peer's port.
    auto first = startPatch<TembraMIDIClock>("first");
    first->inputFilter.setStringValue(newString(peer->name()));
    evaluate(*first);
    auto second = startPatch<TembraMIDIClock>("second");
    second->inputFilter.setStringValue(newString(" out"));
    evaluate(*second);

    ASSERT_TRUE(peer->waitUntilConnected(0));
    peer->send({0xFA});
    ASSERT_TRUE(evaluateUntil(*first, [&] { return first->outputStartSignal.booleanValue(); }));
    // One set of signals: only the first to run after a message shows it.
    evaluate(*second);
    EXPECT_FALSE(second->outputStartSignal.booleanValue());

    for (int i = 0; i < 24; ++i) peer->send({0xF8});
    ASSERT_TRUE(evaluateUntil(*first, [&] { return first->outputMeasures.doubleValue() >= 24.0 / 96.0; }));
    // Once a Stop sent after the clocks has arrived, a second count of them would show.
    peer->send({0xFC});
    ASSERT_TRUE(evaluateUntil(*second, [&] { return second->outputStopSignal.booleanValue(); }));
    evaluate(*first);
    EXPECT_EQ(first->outputBeats.indexValue(), 1u);
    EXPECT_EQ(second->outputBeats.indexValue(), 1u);
    EXPECT_DOUBLE_EQ(first->outputMeasures.doubleValue(), 24.0 / 96.0);
}

}  // namespace
