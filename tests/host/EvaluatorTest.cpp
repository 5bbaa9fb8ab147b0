#include "host/Evaluator.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

std::vector<std::string> events;

// Records every lifecycle call as "id:call".
struct Recorder : QCPatch {
    explicit Recorder(const std::string& id) : QCPatch(id) { events.push_back(id + ":init"); }
    ~Recorder() override { events.push_back(identifier() + ":dealloc"); }
    QCContext* setup(QCContext* c) override { return events.push_back(identifier() + ":setup"), c; }
    void enable(QCContext*) override { events.push_back(identifier() + ":enable"); }
    void disable(QCContext*) override { events.push_back(identifier() + ":disable"); }
    void cleanup(QCContext*) override { events.push_back(identifier() + ":cleanup"); }
    bool execute(QCOpenGLContext*, double, const QCArguments*) override {
        events.push_back(identifier() + ":execute");
        return true;
    }
};

struct Consumer : Recorder {
    static constexpr const char* className = "Consumer";
    static int executionMode() { return 1; }
    using Recorder::Recorder;
    QCStringPort inputText{this, "inputText"};
    QCNumberPort inputNumber{this, "inputNumber"};
    StringRef seen;
    bool execute(QCOpenGLContext* gl, double t, const QCArguments* a) override {
        seen = inputText.stringValue();
        return Recorder::execute(gl, t, a);
    }
};

// A provider that publishes a new string object every frame.
struct Provider : Recorder {
    static constexpr const char* className = "Provider";
    static int executionMode() { return 2; }
    using Recorder::Recorder;
    QCStringPort outputText{this, "outputText"};
    QCIndexPort outputCount{this, "outputCount"};
    bool execute(QCOpenGLContext* gl, double t, const QCArguments* a) override {
        outputText.setStringValue(newString("frame"));
        outputCount.setIndexValue(outputCount.indexValue() + 1);
        return Recorder::execute(gl, t, a);
    }
};

struct Processor : Recorder {
    static constexpr const char* className = "Processor";
    static int executionMode() { return 3; }
    using Recorder::Recorder;
    QCNumberPort inputNumber{this, "inputNumber"};
    QCIndexPort inputSize{this, "inputSize"};
    QCNumberPort outputNumber{this, "outputNumber"};
    bool execute(QCOpenGLContext* gl, double t, const QCArguments* a) override {
        if (inputSize.indexValue() == 0) inputSize.setIndexValue(1);  // writes back to its own input
        outputNumber.setDoubleValue(inputNumber.doubleValue() * 2);
        return Recorder::execute(gl, t, a);
    }
};

struct TimedProcessor : Processor {
    static constexpr const char* className = "TimedProcessor";
    static int timeModeWithIdentifier(const std::string&) { return 1; }
    using Processor::Processor;
};

// A provider whose trigger follows `pulses`, one value per frame, and whose
// level stays put.
std::vector<bool> pulses;
struct Pulser : Recorder {
    static constexpr const char* className = "Pulser";
    static int executionMode() { return 2; }
    using Recorder::Recorder;
    QCBooleanPort outputTrig{this, "outputTrig"};
    QCIndexPort outputLevel{this, "outputLevel"};
    size_t frame = 0;
    bool execute(QCOpenGLContext* gl, double t, const QCArguments* a) override {
        outputTrig.setBooleanValue(pulses.at(frame++));
        outputLevel.setIndexValue(3);
        return Recorder::execute(gl, t, a);
    }
};

struct Thrower : Recorder {
    static constexpr const char* className = "Thrower";
    static int executionMode() { return 2; }
    using Recorder::Recorder;
    bool execute(QCOpenGLContext*, double, const QCArguments*) override { throw std::runtime_error("boom"); }
};

class EvaluatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        events.clear();
        manager.registerNodeWithClass(patchClass<Consumer>());
        manager.registerNodeWithClass(patchClass<Provider>());
        manager.registerNodeWithClass(patchClass<Processor>());
        manager.registerNodeWithClass(patchClass<TimedProcessor>());
        manager.registerNodeWithClass(patchClass<Thrower>());
        manager.registerNodeWithClass(patchClass<Pulser>());
    }
    std::unique_ptr<Evaluator> build(const std::string& json) {
        return std::make_unique<Evaluator>(CompositionDocument::parse(json, "test.json"), manager);
    }
    size_t countOf(const std::string& event) const { return std::count(events.begin(), events.end(), event); }

    QCNodeManager manager;
    LogCapture log;
};

TEST_F(EvaluatorTest, DrivesEveryPatchThroughTheLifecycleInOrder) {
    {
        auto evaluator = build(R"({"patches": [{"id": "c", "class": "Consumer"}]})");
        evaluator->start();
        evaluator->executeFrame(0);
        evaluator->executeFrame(0.5);
        evaluator->stop();
    }
    EXPECT_EQ(events, (std::vector<std::string>{"c:init", "c:setup", "c:enable", "c:execute", "c:execute",
                                                "c:disable", "c:cleanup", "c:dealloc"}));
}

TEST_F(EvaluatorTest, DestructionStopsARunningComposition) {
    build(R"({"patches": [{"id": "c", "class": "Consumer"}]})")->start();
    EXPECT_EQ(events, (std::vector<std::string>{"c:init", "c:setup", "c:enable", "c:disable", "c:cleanup",
                                                "c:dealloc"}));
}

TEST_F(EvaluatorTest, ModesDecideWhenPatchesRun) {
    auto evaluator = build(R"({"patches": [
        {"id": "consumer", "class": "Consumer"},
        {"id": "provider", "class": "Provider"},
        {"id": "idle", "class": "Processor", "inputs": {"inputNumber": 2}},
        {"id": "timed", "class": "TimedProcessor"}]})");
    evaluator->start();
    for (int frame = 0; frame < 4; ++frame) evaluator->executeFrame(frame / 60.0);
    EXPECT_EQ(countOf("consumer:execute"), 4u);
    EXPECT_EQ(countOf("provider:execute"), 4u);
    EXPECT_EQ(countOf("timed:execute"), 4u);
    // Only the first frame: its write back to its own input is not a change.
    EXPECT_EQ(countOf("idle:execute"), 1u);

    static_cast<Processor*>(evaluator->patch("idle"))->inputNumber.setDoubleValue(5);
    evaluator->executeFrame(4 / 60.0);
    evaluator->executeFrame(5 / 60.0);
    EXPECT_EQ(countOf("idle:execute"), 2u);
}

TEST_F(EvaluatorTest, ProcessorRunsWhenAnUpstreamValueChanges) {
    auto evaluator = build(R"({"patches": [
        {"id": "proc", "class": "Processor"},
        {"id": "src", "class": "Provider"}],
      "connections": [{"from": "src.outputCount", "to": "proc.inputNumber"}]})");
    evaluator->start();
    for (int frame = 0; frame < 3; ++frame) evaluator->executeFrame(frame);
    // The provider runs first although it comes later in the document.
    EXPECT_LT(std::find(events.begin(), events.end(), "src:execute"),
              std::find(events.begin(), events.end(), "proc:execute"));
    EXPECT_EQ(countOf("proc:execute"), 3u);
    EXPECT_DOUBLE_EQ(static_cast<Processor*>(evaluator->patch("proc"))->outputNumber.doubleValue(), 6.0);
}

TEST_F(EvaluatorTest, ConnectionsHandTheUpstreamObjectItself) {
    auto evaluator = build(R"({"patches": [
        {"id": "src", "class": "Provider"}, {"id": "dst", "class": "Consumer"}],
      "connections": [{"from": "src.outputText", "to": "dst.inputText"}]})");
    evaluator->start();
    evaluator->executeFrame(0);
    auto* provider = static_cast<Provider*>(evaluator->patch("src"));
    auto* consumer = static_cast<Consumer*>(evaluator->patch("dst"));
    EXPECT_EQ(consumer->seen, provider->outputText.stringValue());
    const StringRef first = consumer->seen;
    evaluator->executeFrame(1);
    EXPECT_EQ(consumer->seen, provider->outputText.stringValue());
    EXPECT_NE(consumer->seen, first);  // each frame's new object arrives as itself
}

TEST_F(EvaluatorTest, OnlyADifferentValuePassesAndConvertedObjectsKeepTheirIdentity) {
    pulses = {true, false, false, true, true, false};
    auto evaluator = build(R"({"patches": [
        {"id": "pulse", "class": "Pulser"}, {"id": "proc", "class": "Processor"}, {"id": "show", "class": "Consumer"}],
      "connections": [{"from": "pulse.outputTrig", "to": "proc.inputNumber"},
                      {"from": "pulse.outputLevel", "to": "show.inputText"}]})");
    evaluator->start();
    auto* consumer = static_cast<Consumer*>(evaluator->patch("show"));
    std::vector<StringRef> seen;
    for (size_t frame = 0; frame < pulses.size(); ++frame) {
        evaluator->executeFrame(static_cast<double>(frame));
        seen.push_back(consumer->seen);
    }
    // Runs on the first frame and on each flip: true, false, true, false.
    EXPECT_EQ(countOf("proc:execute"), 4u);
    ASSERT_TRUE(seen.front());
    EXPECT_EQ(*seen.front(), "3");
    for (const StringRef& text : seen) EXPECT_EQ(text, seen.front());  // converted once, then held
}

TEST_F(EvaluatorTest, AnExceptionIsLoggedWithThePatchAndTheFrameGoesOn) {
    auto evaluator = build(R"({"patches": [
        {"id": "bad", "class": "Thrower"}, {"id": "after", "class": "Consumer"}]})");
    evaluator->start();
    evaluator->executeFrame(0);
    evaluator->executeFrame(1);
    EXPECT_EQ(countOf("after:execute"), 2u);
    EXPECT_EQ(log.count("patch \"bad\" (Thrower) failed: boom"), 2u);
}

TEST_F(EvaluatorTest, DocumentsThatDoNotFitTheClassesAreRefusedWithFileAndLine) {
    const auto failure = [&](const std::string& json) -> std::string {
        try {
            build(json);
        } catch (const CompositionError& e) {
            return e.what();
        }
        return "accepted";
    };
    EXPECT_EQ(failure("{\"patches\": [\n{\"id\": \"x\", \"class\": \"Nope\"}]}"),
              "test.json:2: unknown patch class \"Nope\" for patch \"x\"");
    EXPECT_EQ(failure("{\"patches\": [{\"id\": \"c\", \"class\": \"Consumer\",\n \"inputs\": {\"inputTxet\": 1}}]}"),
              "test.json:2: patch \"c\" (Consumer) has no port \"inputTxet\"; did you mean \"inputText\"?");
    EXPECT_EQ(failure(R"({"patches": [{"id": "c", "class": "Consumer", "inputs": {"inputNumber": "two"}}]})"),
              "test.json:1: patch \"c\": port inputNumber takes a number value, not \"two\"");
    EXPECT_EQ(failure(R"({"patches": [{"id": "a", "class": "Provider"}, {"id": "b", "class": "Provider"}],
        "connections": [{"from": "a.outputText", "to": "b.outputText"}]})"),
              "test.json:2: connection from \"a.outputText\" to \"b.outputText\" connects an output to an output");
    EXPECT_EQ(failure(R"({"patches": [{"id": "a", "class": "Processor"}, {"id": "b", "class": "Processor"}],
        "connections": [{"from": "a.outputNumber", "to": "b.inputNumber"},
                        {"from": "b.outputNumber", "to": "a.inputNumber"}]})"),
              "test.json:1: connections form a cycle through patch \"a\"");
    EXPECT_EQ(failure(R"({"patches": [{"id": "a", "class": "Provider"}, {"id": "b", "class": "Consumer"}],
        "connections": [{"from": "a.outputTxt", "to": "b.inputText"}]})"),
              "test.json:2: unknown port \"a.outputTxt\"; did you mean \"outputText\"?");
    // The value's own line, not where the text "b" first appears.
    EXPECT_EQ(failure("{\"patches\": [{\"id\": \"a\", \"class\": \"Consumer\", \"inputs\": {\"inputText\": \"b\"}},\n"
                      "{\"id\": \"b\", \"class\": \"Consumer\", \"inputs\": {\"inputText\": \"x\",\n"
                      "\"inputNumber\": \"two\"}}]}"),
              "test.json:3: patch \"b\": port inputNumber takes a number value, not \"two\"");
    // A huge wrong value is cut short in the message.
    EXPECT_LT(failure(R"({"patches": [{"id": "c", "class": "Consumer", "inputs": {"inputNumber": [)" +
                      std::string(200000, '1') + "]}}]}")
                  .size(),
              200u);
}

}  // namespace

namespace {

TEST_F(EvaluatorTest, ATimedProcessorRestsWhileTimeStandsStill) {
    auto evaluator = build(R"({"patches": [{"id": "timed", "class": "TimedProcessor"},
        {"id": "consumer", "class": "Consumer"}]})");
    evaluator->start();
    for (double time : {0.0, 0.5, 0.5, 0.5, 1.0}) evaluator->executeFrame(time);
    EXPECT_EQ(countOf("timed:execute"), 3u);
    EXPECT_EQ(countOf("consumer:execute"), 5u);
}

}  // namespace
