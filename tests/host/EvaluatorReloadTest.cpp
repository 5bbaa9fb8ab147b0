#include "host/Evaluator.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> events;

// Records its lifecycle as "id:call" and counts its own executions.
struct Counter : QCPatch {
    static constexpr const char* className = "Counter";
    static int executionMode() { return 1; }
    explicit Counter(const std::string& id) : QCPatch(id) { events.push_back(id + ":init"); }
    ~Counter() override { events.push_back(identifier() + ":dealloc"); }
    QCContext* setup(QCContext* c) override { return events.push_back(identifier() + ":setup"), c; }
    void enable(QCContext*) override { events.push_back(identifier() + ":enable"); }
    void disable(QCContext*) override { events.push_back(identifier() + ":disable"); }
    void cleanup(QCContext*) override { events.push_back(identifier() + ":cleanup"); }
    bool execute(QCOpenGLContext*, double, const QCArguments*) override {
        outputCount.setIndexValue(outputCount.indexValue() + 1);
        return true;
    }
    QCNumberPort inputNumber{this, "inputNumber"};
    QCIndexPort inputCount{this, "inputCount"};
    QCIndexPort outputCount{this, "outputCount"};
};

// An input by the patch's word, not by its name (as an expression's variables are).
struct Variable : QCPatch {
    static constexpr const char* className = "Variable";
    static int executionMode() { return 3; }
    explicit Variable(const std::string& id) : QCPatch(id) { a.makeInput(); }
    bool execute(QCOpenGLContext*, double, const QCArguments*) override { return true; }
    QCNumberPort a{this, "a"};
};

class EvaluatorReload : public ::testing::Test {
protected:
    void SetUp() override {
        events.clear();
        manager.registerNodeWithClass(patchClass<Counter>());
        manager.registerNodeWithClass(patchClass<Variable>());
        evaluator = std::make_unique<Evaluator>(CompositionDocument::parse(R"({"patches": [
            {"id": "kept", "class": "Counter", "inputs": {"inputNumber": 1}},
            {"id": "gone", "class": "Counter"}]})", "doc.json"), manager);
        evaluator->start();
        for (int frame = 0; frame < 3; ++frame) evaluator->executeFrame(frame);
        kept = static_cast<Counter*>(evaluator->patch("kept"));
        events.clear();
    }
    void reload(const std::string& json) { evaluator->reload(CompositionDocument::parse(json, "doc.json"), manager); }

    QCNodeManager manager;
    LogCapture log;
    std::unique_ptr<Evaluator> evaluator;
    Counter* kept = nullptr;
};

TEST_F(EvaluatorReload, KeepsPatchesThatStayAndReplacesTheRest) {
    reload(R"({"patches": [
        {"id": "kept", "class": "Counter", "inputs": {"inputNumber": 2}},
        {"id": "new", "class": "Counter"}],
        "connections": [{"from": "kept.outputCount", "to": "new.inputCount"}]})");
    // The same object with its state, taking the new value.
    EXPECT_EQ(evaluator->patch("kept"), kept);
    EXPECT_EQ(kept->outputCount.indexValue(), 3u);
    EXPECT_EQ(kept->inputNumber.doubleValue(), 2.0);
    EXPECT_EQ(evaluator->patch("gone"), nullptr);
    // The new document is built whole first, but for "kept", which is not
    // built again (its constructor may reach beyond the patch); the patch
    // that went is stopped before the new one starts.
    EXPECT_EQ(events, (std::vector<std::string>{"new:init", "gone:disable", "gone:cleanup", "gone:dealloc",
                                                "new:setup", "new:enable"}));
    // Connections reach the kept object, not the spare one.
    evaluator->executeFrame(3);
    EXPECT_EQ(static_cast<Counter*>(evaluator->patch("new"))->inputCount.indexValue(), 4u);

    // A value taken out of the document gives the class's own back.
    reload(R"({"patches": [{"id": "kept", "class": "Counter"}]})");
    EXPECT_EQ(evaluator->patch("kept"), kept);
    EXPECT_EQ(kept->inputNumber.doubleValue(), 0.0);
    EXPECT_EQ(std::count(events.begin(), events.end(), "kept:init"), 0);
}

TEST_F(EvaluatorReload, AKeptPatchsOwnInputsStayInputs) {
    const std::string doc = R"({"patches": [{"id": "kept", "class": "Counter"}, {"id": "v", "class": "Variable"}],
        "connections": [{"from": "kept.outputCount", "to": "v.a"}]})";
    reload(doc);
    const QCPatch* variable = evaluator->patch("v");
    // Saved again: the stand-in checked for "v" takes the connection too.
    reload(doc);
    EXPECT_EQ(evaluator->patch("v"), variable);
    evaluator->executeFrame(3);
    EXPECT_EQ(static_cast<const Variable*>(variable)->a.doubleValue(), 4.0);
}

TEST_F(EvaluatorReload, ABadDocumentLeavesTheRunningOneAlone) {
    EXPECT_THROW(reload(R"({"patches": [{"id": "kept", "class": "Counter", "inputs": {"inputNumber": 5}},
        {"id": "x", "class": "NoSuchClass"}]})"), CompositionError);
    EXPECT_EQ(evaluator->patch("kept"), kept);
    EXPECT_EQ(kept->inputNumber.doubleValue(), 1.0);
    EXPECT_NE(evaluator->patch("gone"), nullptr);
    for (const std::string& event : events) EXPECT_EQ(event.rfind("gone:", 0), std::string::npos) << event;
    EXPECT_EQ(std::count(events.begin(), events.end(), "kept:setup"), 0);
}

}  // namespace
