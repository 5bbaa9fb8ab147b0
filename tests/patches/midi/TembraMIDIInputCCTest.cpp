#include "MIDIPatchTesting.h"
#include "patches/midi/TembraMIDIInputCC.h"
#include "patches/regex/CSRegexException.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

const char* kChanged = "TembraMIDIInputCC::execute() PortName changed.  Matching Ports:";

class InputCCTest : public ::testing::Test {
protected:
    void SetUp() override {
        VirtualMIDI::reset();
        box = VirtualMIDI::createEntity(VirtualMIDI::createDevice("Box"), "Main");
        keys = VirtualMIDI::createSource(box, "Keys");
    }
    void TearDown() override { VirtualMIDI::reset(); }

    static void read(const std::vector<Bytes>& packets) {
        std::vector<Byte> memory;
        TembraMIDIInputCCReadProc(buildPacketList(memory, packets), nullptr, nullptr);
    }

    MIDIEntityRef box = 0;
    MIDIEndpointRef keys = 0;
};

TEST_F(InputCCTest, ReportsTheLastValueAndATriggerForOneEvaluation) {
    LogCapture log;
    auto patch = startPatch<TembraMIDIInputCC>();
    EXPECT_EQ(patch->outputValue.indexValue(), 0u);
    evaluate(*patch);
    EXPECT_EQ(linesStartingWith(log.lines(), "\t*"), std::vector<std::string>{"\t* \"Box Keys\""});
    EXPECT_EQ(log.count(kChanged), 1u);

    send(keys, {0xB0, 1, 10});
    send(keys, {0xB0, 1, 20});
    send(keys, {0xB0, 1, 30});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 30u);
    EXPECT_TRUE(patch->outputTrig.booleanValue());
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 30u);
    EXPECT_FALSE(patch->outputTrig.booleanValue());
    // The same pattern object: no rescan.
    EXPECT_EQ(log.count(kChanged), 1u);

    // Another channel or controller leaves this one alone.
    send(keys, {0xB1, 1, 99});
    send(keys, {0xB0, 2, 98});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 30u);
    EXPECT_FALSE(patch->outputTrig.booleanValue());
}

TEST_F(InputCCTest, ChannelAndControllerAreBoundedToTheTable) {
    auto patch = startPatch<TembraMIDIInputCC>();
    evaluate(*patch);
    send(keys, {0xB0, 0, 55});  // controller 0 can never be read
    send(keys, {0xB0, 1, 11});
    send(keys, {0xBF, 127, 77});

    patch->inputController.setIndexValue(0);
    patch->inputChannel.setIndexValue(0);
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 11u);
    // The ports are not written back.
    EXPECT_EQ(patch->inputController.indexValue(), 0u);
    EXPECT_EQ(patch->inputChannel.indexValue(), 0u);

    // Values past the maxima (the patch's own ports do not clamp) read the last row and column.
    patch->inputController.setIndexValue(1000);
    patch->inputChannel.setIndexValue(99);
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 77u);
    patch->inputController.setIndexValue(0xFFFFFFFFu);  // -1 as a signed value
    patch->inputChannel.setIndexValue(0x80000000u);
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 11u);
}

TEST_F(InputCCTest, OnlyWholeThreeByteControlChangesWithDataBytesAct) {
    auto patch = startPatch<TembraMIDIInputCC>();
    patch->inputController.setIndexValue(7);
    evaluate(*patch);

    // One list with packets of several lengths: only the exact Control Change acts.
    read({{0x90, 7, 100}, {0xF8}, {0xB0, 7, 0x33}, {0xB0, 7, 0x44, 0xB0, 7, 0x55}, {7, 0x66}, {0xA0, 7, 1}});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 0x33u);
    EXPECT_TRUE(patch->outputTrig.booleanValue());

    // Bytes of 128 or more are not data: dropped, nothing written anywhere.
    read({{0xB0, 7, 0x80}, {0xB0, 0x87, 5}, {0xB0, 0xFF, 0xFF}});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 0x33u);
    EXPECT_FALSE(patch->outputTrig.booleanValue());

    // The same walk through the MIDI layer, in one delivery.
    std::vector<Byte> memory;
    VirtualMIDI::injectPacketList(keys, buildPacketList(memory, {{0xB0, 7, 1, 0xB0}, {0xB0, 7, 0x21}, {0xB0, 7}}));
    VirtualMIDI::flush();
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 0x21u);
}

TEST_F(InputCCTest, InstancesShareTheTablesAndConstructionClearsThem) {
    auto first = startPatch<TembraMIDIInputCC>("first");
    evaluate(*first);
    send(keys, {0xB0, 1, 42});
    send(keys, {0xB3, 9, 43});

    auto second = startPatch<TembraMIDIInputCC>("second");
    evaluate(*first);
    EXPECT_EQ(first->outputValue.indexValue(), 0u);
    EXPECT_FALSE(first->outputTrig.booleanValue());
    first->inputChannel.setIndexValue(4);
    first->inputController.setIndexValue(9);
    evaluate(*first);
    EXPECT_EQ(first->outputValue.indexValue(), 0u);
    first->inputChannel.setIndexValue(1);
    first->inputController.setIndexValue(1);

    evaluate(*second);
    send(keys, {0xB0, 1, 64});
    evaluate(*second);
    evaluate(*first);
    EXPECT_TRUE(second->outputTrig.booleanValue());
    EXPECT_FALSE(first->outputTrig.booleanValue());
    EXPECT_EQ(first->outputValue.indexValue(), 64u);
    EXPECT_EQ(second->outputValue.indexValue(), 64u);
}

TEST_F(InputCCTest, SourcesAddedLaterAreConnectedWhenTheyMatchAndRemovalIsOnlyLogged) {
    LogCapture log;
    auto patch = startPatch<TembraMIDIInputCC>();
    // Before the first evaluation there is no port: an added source is left alone.
    const MIDIEndpointRef early = VirtualMIDI::createSource(box, "Early");
    VirtualMIDI::flush();
    EXPECT_TRUE(linesStartingWith(log.lines(), "TembraMIDIInputCCNotifyProc()").empty());

    patch->inputPortName.setStringValue(newString("^Box"));
    evaluate(*patch);
    EXPECT_EQ(linesStartingWith(log.lines(), "\t*"),
              (std::vector<std::string>{"\t* \"Box Keys\"", "\t* \"Box Early\""}));

    const MIDIEndpointRef late = VirtualMIDI::createSource(box, "Late");
    const MIDIEndpointRef stranger = VirtualMIDI::createSource(0, "Stranger");
    VirtualMIDI::createDestination(box, "Sink");
    VirtualMIDI::flush();
    EXPECT_EQ(linesStartingWith(log.lines(), "TembraMIDIInputCCNotifyProc()"),
              std::vector<std::string>{"TembraMIDIInputCCNotifyProc() kMIDIMsgObjectAdded(\"Box Late\")"});

    send(late, {0xB0, 1, 5});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 5u);
    send(stranger, {0xB0, 1, 6});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 5u);
    send(early, {0xB0, 1, 8});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 8u);

    log.clear();
    VirtualMIDI::removeEndpoint(late);
    VirtualMIDI::removeEndpoint(stranger);
    VirtualMIDI::flush();
    EXPECT_EQ(linesStartingWith(log.lines(), "TembraMIDIInputCCNotifyProc()"),
              (std::vector<std::string>{"TembraMIDIInputCCNotifyProc() kMIDIMsgObjectRemoved(\"Box Late\")",
                                        "TembraMIDIInputCCNotifyProc() kMIDIMsgObjectRemoved(\"Stranger\")"}));
    send(keys, {0xB0, 1, 9});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 9u);
}

TEST_F(InputCCTest, AnyPatternSelectsAnUnnamedSourceAndNoMatchKeepsTheLastValue) {
    LogCapture log;
    const MIDIEndpointRef unnamed = VirtualMIDI::createSource(0, std::nullopt);
    auto patch = startPatch<TembraMIDIInputCC>();
    evaluate(*patch);
    EXPECT_EQ(log.count("\t* \"\""), 1u);
    send(unnamed, {0xB0, 1, 12});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 12u);

    // A new object with the same text is a change: the port is made anew.
    patch->inputPortName.setStringValue(newString(".*"));
    evaluate(*patch);
    EXPECT_EQ(log.count(kChanged), 2u);
    send(keys, {0xB0, 1, 13});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 13u);

    patch->inputPortName.setStringValue(newString("nothing is called this"));
    evaluate(*patch);
    send(keys, {0xB0, 1, 14});
    send(unnamed, {0xB0, 1, 15});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 13u);
    EXPECT_FALSE(patch->outputTrig.booleanValue());
}

TEST_F(InputCCTest, ABadPatternEndsTheEvaluationWithTheNewPortAndNoSource) {
    LogCapture log;
    auto patch = startPatch<TembraMIDIInputCC>();
    evaluate(*patch);
    send(keys, {0xB0, 1, 21});
    evaluate(*patch);
    ASSERT_EQ(patch->outputValue.indexValue(), 21u);

    log.clear();
    patch->inputPortName.setStringValue(newString("("));
    EXPECT_THROW(evaluate(*patch), CSRegexException);
    EXPECT_EQ(log.count(kChanged), 1u);
    EXPECT_TRUE(linesStartingWith(log.lines(), "\t*").empty());

    // The old port is gone and the new one hears nothing.
    send(keys, {0xB0, 1, 22});
    EXPECT_NO_THROW(evaluate(*patch));
    EXPECT_EQ(patch->outputValue.indexValue(), 21u);
    EXPECT_EQ(log.count(kChanged), 1u);
    // A source added now meets the bad pattern on the notification thread: ignored.
    VirtualMIDI::createSource(box, "Late");
    VirtualMIDI::flush();
    EXPECT_TRUE(linesStartingWith(log.lines(), "TembraMIDIInputCCNotifyProc()").empty());

    // Later evaluations still report the tables.
    std::vector<Byte> memory;
    TembraMIDIInputCCReadProc(buildPacketList(memory, {{0xB0, 1, 23}}), nullptr, nullptr);
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 23u);
    EXPECT_TRUE(patch->outputTrig.booleanValue());

    // A good pattern again rescans.
    patch->inputPortName.setStringValue(newString("Keys"));
    evaluate(*patch);
    send(keys, {0xB0, 1, 24});
    evaluate(*patch);
    EXPECT_EQ(patch->outputValue.indexValue(), 24u);
}

TEST_F(InputCCTest, NotificationsNeverReachADestroyedInstance) {
    LogCapture log;
    {
        auto patch = startPatch<TembraMIDIInputCC>();
        evaluate(*patch);
    }
    VirtualMIDI::createSource(box, "After");
    VirtualMIDI::flush();
    EXPECT_TRUE(linesStartingWith(log.lines(), "TembraMIDIInputCCNotifyProc()").empty());

    // Instances come and go while sources are added and removed on another thread.
    std::atomic<bool> done{false};
    std::thread churn([&] {
        while (!done) {
            const MIDIEndpointRef source = VirtualMIDI::createSource(box, "Churn");
            VirtualMIDI::inject(source, {0xB0, 1, 3});
            VirtualMIDI::removeEndpoint(source);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        auto patch = startPatch<TembraMIDIInputCC>();
        evaluate(*patch);
        if (i % 2) patch->inputPortName.setStringValue(newString("Churn"));
        evaluate(*patch);
    }
    done = true;
    churn.join();
    VirtualMIDI::flush();
    log.clear();
    VirtualMIDI::createSource(box, "Last");
    VirtualMIDI::flush();
    EXPECT_TRUE(linesStartingWith(log.lines(), "TembraMIDIInputCCNotifyProc()").empty());
}

}  // namespace
