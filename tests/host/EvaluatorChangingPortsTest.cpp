#include "host/Evaluator.h"
#include "host/QCPatchClass.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

// Counts its frames.
struct Ticker : QCPatch {
    static constexpr const char* className = "Ticker";
    static int executionMode() { return 2; }
    using QCPatch::QCPatch;
    bool execute(QCOpenGLContext*, double, const QCArguments*) override {
        outputCount.setIndexValue(outputCount.indexValue() + 1);
        return true;
    }
    QCIndexPort outputCount{this, "outputCount"};
};

// Has an input "level" while `wanted` says so, as a shader has the inputs of
// its file; remembers what it read there (-1: no port).
struct Shifting : QCPatch {
    static constexpr const char* className = "Shifting";
    static constexpr bool portsFollowSource = true;
    static int executionMode() { return 3; }
    static int timeModeWithIdentifier(const std::string&) { return 1; }
    static inline bool wanted = true;
    explicit Shifting(const std::string& id) : QCPatch(id) { updatePorts(); }
    void updatePorts() override {
        if (!wanted) level.reset();
        else if (!level) (level = std::make_unique<QCNumberPort>(this, "level"))->makeInput();
    }
    bool execute(QCOpenGLContext*, double, const QCArguments*) override {
        seen = level ? level->doubleValue() : -1;
        return true;
    }
    std::unique_ptr<QCNumberPort> level;
    double seen = 0;
};

TEST(ChangingPorts, AConnectionOrValueForAPortThatIsGoneWaitsInTheDocumentUntilItIsBack) {
    QCNodeManager manager;
    manager.registerNodeWithClass(patchClass<Ticker>());
    manager.registerNodeWithClass(patchClass<Shifting>());
    LogCapture log;
    const auto doc = [](const std::string& json) { return CompositionDocument::parse(json, "doc.json"); };
    const std::string connected = R"({"patches": [{"id": "t", "class": "Ticker"}, {"id": "s", "class": "Shifting"}],
        "connections": [{"from": "t.outputCount", "to": "s.level"}]})";
    Shifting::wanted = true;
    Evaluator evaluator(doc(connected), manager);
    const auto seen = [&] { return static_cast<Shifting*>(evaluator.patch("s"))->seen; };
    evaluator.start();
    evaluator.executeFrame(0);
    EXPECT_EQ(seen(), 1.0);

    Shifting::wanted = false;
    evaluator.executeFrame(1);
    EXPECT_EQ(evaluator.port("s.level"), nullptr);
    EXPECT_EQ(seen(), -1.0);
    EXPECT_EQ(log.count("connection \"t.outputCount\" -> \"s.level\" is inactive: patch \"s\" has no input \"level\""),
              1u);
    // Loading the document again while the port is gone is no error.
    const QCPatch* kept = evaluator.patch("s");
    EXPECT_NO_THROW(evaluator.reload(doc(connected), manager));
    EXPECT_EQ(evaluator.patch("s"), kept);

    // Back: fed before the patch runs with it.
    Shifting::wanted = true;
    evaluator.executeFrame(2);
    EXPECT_TRUE(log.contains("connection \"t.outputCount\" -> \"s.level\" is live again"));
    EXPECT_EQ(seen(), 3.0);

    // A value waits likewise, but a typo in a port of a fixed class stays an error.
    Shifting::wanted = false;
    Evaluator waiting(doc(R"({"patches": [{"id": "s", "class": "Shifting", "inputs": {"level": 5}}]})"), manager);
    EXPECT_TRUE(log.contains("patch \"s\" (Shifting) has no input \"level\" now: its value waits for it"));
    waiting.start();
    Shifting::wanted = true;
    waiting.executeFrame(0);
    EXPECT_EQ(static_cast<Shifting*>(waiting.patch("s"))->seen, 5.0);
    EXPECT_THROW(Evaluator(doc(R"({"patches": [{"id": "t", "class": "Ticker"}, {"id": "s", "class": "Shifting"}],
        "connections": [{"from": "t.outputCont", "to": "s.level"}]})"), manager), CompositionError);
}

}  // namespace
