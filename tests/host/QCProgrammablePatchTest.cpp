#include "host/Evaluator.h"
#include "host/QCProgrammablePatch.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Compiles "key:type" words into its parameter list; "bad" fails.
struct Scripted : QCProgrammablePatch {
    static constexpr const char* className = "Scripted";
    static int executionMode() { return 2; }
    explicit Scripted(const std::string& id) : QCProgrammablePatch(id) {}
    std::vector<std::string> sourceTypesOfClass() const override { return {"words", "other"}; }
    Dictionary compileSourceOfType(const std::string& type) override {
        ++compiles;
        auto list = GFList::list();
        std::istringstream in(sourceOfType(type));
        for (std::string word; in >> word;) {
            const size_t colon = word.find(':');
            if (colon != std::string::npos)
                list->addObject(QCParameterInfo::infoWithType(std::stoi(word.substr(colon + 1)), 1), word.substr(0, colon));
        }
        setParameterList(list);
        return {{"success", sourceOfType(type) != "bad"}, {"message", nullptr}};
    }
    bool execute(QCOpenGLContext*, double, const QCArguments*) override {
        if (auto* gain = portNamed("inputGain")) seenGain = static_cast<QCNumberPort*>(gain)->doubleValue();
        return true;
    }
    int compiles = 0;
    double seenGain = -1;
};

struct Plain : QCPatch {
    static constexpr const char* className = "Plain";
    static int executionMode() { return 2; }
    explicit Plain(const std::string& id) : QCPatch(id) {}
    bool execute(QCOpenGLContext*, double, const QCArguments*) override { return true; }
    QCNumberPort outputValue{this, "outputValue"};
};

TEST(QCProgrammablePatch, SettingASourceStoresItPerTypeAndCompiles) {
    Scripted patch("s");
    patch.setSource("inputA:3", "words");
    patch.setSource("bad", "other");
    EXPECT_EQ(patch.compiles, 2);
    EXPECT_EQ(patch.sourceOfType("words"), "inputA:3");
    EXPECT_EQ(patch.sourceOfType("other"), "bad");
    EXPECT_EQ(patch.sourceOfType("none"), "");
    EXPECT_EQ(patch.lastCompilationResult().at("success"), false);
}

TEST(QCProgrammablePatch, PublishedParametersBecomeInputPortsThatStay) {
    LogCapture log;
    Scripted patch("s");
    patch.setSource("inputFlag:1 inputCount:2 inputGain:3 inputLabel:4 inputOdd:9 outputNope:3", "words");
    const std::pair<const char*, QCPortKind> made[] = {{"inputFlag", QCPortKind::Boolean},
                                                       {"inputCount", QCPortKind::Index},
                                                       {"inputGain", QCPortKind::Number},
                                                       {"inputLabel", QCPortKind::String}};
    for (const auto& [name, kind] : made) {
        const QCPort* port = patch.portNamed(name);
        ASSERT_NE(port, nullptr) << name;
        EXPECT_EQ(port->kind(), kind) << name;
        EXPECT_TRUE(port->isInput());
    }
    EXPECT_EQ(patch.portNamed("inputOdd"), nullptr);
    EXPECT_EQ(patch.portNamed("outputNope"), nullptr);
    EXPECT_EQ(log.lines().size(), 2u);

    // A later list without the keys keeps the ports (and logs nothing again);
    // a key published again does not make a second port.
    const size_t ports = patch.ports().size();
    patch.setSource("", "words");
    EXPECT_EQ(patch.parameterList()->count(), 0u);
    patch.setSource("inputGain:3 inputOdd:9", "words");
    EXPECT_EQ(patch.ports().size(), ports);
    EXPECT_EQ(log.lines().size(), 2u);
}

TEST(QCProgrammablePatch, NotificationsHeldWhilePausedAreReleasedByTheLastResume) {
    Scripted patch("s");
    std::vector<QCPatchNotification> seen;
    patch.addObserver([&](QCProgrammablePatch&, QCPatchNotification n) { seen.push_back(n); });
    using N = QCPatchNotification;

    patch.stateUpdated();
    EXPECT_EQ(seen, std::vector{N::StateUpdated});

    seen.clear();
    patch.pauseNotifications();
    patch.pauseNotifications();
    patch.stateUpdated();
    patch.stateUpdated();
    patch.resumeNotifications();
    EXPECT_EQ(seen, (std::vector{N::NotificationsPaused, N::NotificationsPaused, N::NotificationsResumed}));
    patch.resumeNotifications();
    EXPECT_EQ(seen.back(), N::StateUpdated);
    EXPECT_EQ(seen.size(), 5u);  // two held updates come out as one

    seen.clear();
    patch.resumeNotifications();  // unbalanced: ignored
    EXPECT_TRUE(seen.empty());
}

class ProgrammableInComposition : public ::testing::Test {
protected:
    void SetUp() override {
        manager.registerNodeWithClass(patchClass<Scripted>());
        manager.registerNodeWithClass(patchClass<Plain>());
    }
    std::unique_ptr<Evaluator> build(const std::string& text) {
        return std::make_unique<Evaluator>(CompositionDocument::parse(text, "test.json"), manager);
    }
    QCNodeManager manager;
};

TEST_F(ProgrammableInComposition, TheDocumentGivesNameSourceAndParameterPorts) {
    auto evaluator = build(R"({"patches": [
        {"id": "p", "class": "Plain"},
        {"id": "s", "class": "Scripted", "name": "Mixer", "source": "inputLabel:4",
         "parameters": {"inputGain": {"type": 3, "size": 1}}, "inputs": {"inputGain": 0.5}}],
      "connections": [{"from": "p.outputValue", "to": "s.inputGain"}]})");
    auto* s = static_cast<Scripted*>(evaluator->patch("s"));
    EXPECT_EQ(s->userInfo()["name"], "Mixer");
    EXPECT_EQ(s->sourceOfType("words"), "inputLabel:4");  // the class's first source type
    EXPECT_NE(s->portNamed("inputLabel"), nullptr);
    EXPECT_EQ(static_cast<QCNumberPort*>(s->portNamed("inputGain"))->doubleValue(), 0.5);

    static_cast<Plain*>(evaluator->patch("p"))->outputValue.setDoubleValue(2.0);
    evaluator->start();
    evaluator->executeFrame(0);
    EXPECT_EQ(s->seenGain, 2.0);

    EXPECT_NO_THROW(build(R"({"patches": [{"id": "s", "class": "Scripted", "sourceType": "other", "source": "x"}]})"));
}

TEST_F(ProgrammableInComposition, SettingsThatDoNotFitAreRefusedWithTheLine) {
    const std::pair<const char*, const char*> faults[] = {
        {R"({"patches": [
            {"id": "p", "class": "Plain", "source": "x"}]})",
         "test.json:2: patch \"p\" (Plain) is not programmable and takes no name, source or parameters"},
        {R"({"patches": [
            {"id": "s", "class": "Scripted", "sourceType": "lisp", "source": "x"}]})",
         "test.json:2: patch \"s\" (Scripted) has no source type \"lisp\""},
        {R"({"patches": [
            {"id": "s", "class": "Scripted", "source": 3}]})",
         "test.json:2: \"source\" of patch \"s\" must be a string"},
        {R"({"patches": [
            {"id": "s", "class": "Scripted", "parameters": {"inputX": 3}}]})",
         "test.json:2: parameter \"inputX\" of patch \"s\" must be {\"type\": integer, \"size\": integer}"},
        {R"({"patches": [
            {"id": "s", "class": "Scripted", "inputs": {"inputGain": 1}}]})",
         "test.json:2: patch \"s\" (Scripted) has no port \"inputGain\""},
    };
    for (const auto& [text, message] : faults) {
        try {
            build(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const CompositionError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

}  // namespace
