#include "host/Evaluator.h"
#include "host/QCPatchClass.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

// Counts its frames on outputCount.
struct Ticker : QCPatch {
    static constexpr const char* className = "Ticker";
    static int executionMode() { return 2; }
    explicit Ticker(const std::string& id) : QCPatch(id) {}
    bool execute(QCOpenGLContext*, double, const QCArguments*) override {
        outputCount.setIndexValue(outputCount.indexValue() + 1);
        return true;
    }
    QCIndexPort outputCount{this, "outputCount"};
};

// Has an input "level" while `wanted` says so, as a shader has the inputs its
// file declares; remembers what it last read there.
struct Shifting : QCPatch {
    static constexpr const char* className = "Shifting";
    static constexpr bool portsFollowSource = true;
    static int executionMode() { return 3; }
    static int timeModeWithIdentifier(const std::string&) { return 1; }
    static inline bool wanted = true;
    explicit Shifting(const std::string& id) : QCPatch(id) { follow(); }
    bool execute(QCOpenGLContext*, double, const QCArguments*) override {
        seen = level ? level->doubleValue() : -1;
        follow();
        return true;
    }
    void follow() {
        if (!wanted) level.reset();
        else if (!level) (level = std::make_unique<QCNumberPort>(this, "level"))->makeInput();
    }
    std::unique_ptr<QCNumberPort> level;
    double seen = 0;
};

class ChangingPorts : public ::testing::Test {
protected:
    void SetUp() override {
        Shifting::wanted = true;
        manager.registerNodeWithClass(patchClass<Ticker>());
        manager.registerNodeWithClass(patchClass<Shifting>());
    }
    static CompositionDocument doc(const std::string& json) { return CompositionDocument::parse(json, "doc.json"); }
    Shifting* shifting(const Evaluator& e) { return static_cast<Shifting*>(e.patch("s")); }

    QCNodeManager manager;
    LogCapture log;
};

const char* kConnected = R"({"patches": [{"id": "t", "class": "Ticker"}, {"id": "s", "class": "Shifting"}],
    "connections": [{"from": "t.outputCount", "to": "s.level"}]})";

TEST_F(ChangingPorts, AConnectionToAPortThatGoesWaitsInTheDocumentAndIsLiveWhenItComesBack) {
    Evaluator evaluator(doc(kConnected), manager);
    evaluator.start();
    evaluator.executeFrame(0);
    evaluator.executeFrame(1);
    EXPECT_EQ(shifting(evaluator)->seen, 2.0);

    Shifting::wanted = false;
    const uint64_t revision = evaluator.portsRevision();
    evaluator.executeFrame(2);
    EXPECT_EQ(evaluator.port("s.level"), nullptr);
    EXPECT_GT(evaluator.portsRevision(), revision);
    EXPECT_EQ(log.count("connection \"t.outputCount\" -> \"s.level\" is inactive: patch \"s\" has no input \"level\""),
              1u);
    evaluator.executeFrame(3);
    EXPECT_EQ(shifting(evaluator)->seen, -1.0);

    // The document still holds the connection: reloading it while the port
    // is gone is no error, and the patch stays.
    Shifting* kept = shifting(evaluator);
    EXPECT_NO_THROW(evaluator.reload(doc(kConnected), manager));
    EXPECT_EQ(shifting(evaluator), kept);
    evaluator.executeFrame(4);

    Shifting::wanted = true;
    evaluator.executeFrame(5);
    EXPECT_TRUE(log.contains("connection \"t.outputCount\" -> \"s.level\" is live again"));
    evaluator.executeFrame(6);
    EXPECT_EQ(shifting(evaluator)->seen, 7.0);
}

TEST_F(ChangingPorts, ADocumentMayNameAPortThatIsNotThereYetButNotAnotherPatchsTypo) {
    Shifting::wanted = false;
    Evaluator evaluator(doc(R"({"patches": [{"id": "s", "class": "Shifting", "inputs": {"level": 5}}]})"), manager);
    EXPECT_TRUE(log.contains("patch \"s\" (Shifting) has no input \"level\" now: its value waits for it"));
    evaluator.start();
    evaluator.executeFrame(0);
    Shifting::wanted = true;
    evaluator.executeFrame(1);
    evaluator.executeFrame(2);
    EXPECT_EQ(shifting(evaluator)->seen, 5.0);

    EXPECT_THROW(Evaluator(doc(R"({"patches": [{"id": "t", "class": "Ticker"}, {"id": "s", "class": "Shifting"}],
        "connections": [{"from": "t.outputCont", "to": "s.level"}]})"), manager), CompositionError);
}

}  // namespace
