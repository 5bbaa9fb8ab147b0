#include "patches/freeframe/FreeFrame.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

class FreeFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        patch.addObserver([this](QCProgrammablePatch& from, QCPatchNotification notification) {
            EXPECT_EQ(&from, &patch);
            seen.push_back(notification);
        });
        patch.setup(nullptr);
    }
    void step() { EXPECT_TRUE(patch.execute(nullptr, 0.0, nullptr)); }
    std::string name() { return patch.userInfo()["name"]; }

    FreeFrame patch{"ff"};
    std::vector<QCPatchNotification> seen;
};

using N = QCPatchNotification;

TEST_F(FreeFrameTest, OffersOneSourceTypeAndCompilesAnySource) {
    EXPECT_EQ(FreeFrame::sourceTypes(), std::vector<std::string>{"expression"});
    step();
    ASSERT_EQ(patch.parameterList()->count(), 1u);
    for (const std::string source : {"", "x + 1", "this is not an expression (("}) {
        patch.setSource(source, "expression");
        EXPECT_EQ(patch.sourceOfType("expression"), source);
        const auto& result = patch.lastCompilationResult();
        EXPECT_EQ(result.at("success"), true) << source;
        ASSERT_TRUE(result.contains("message"));
        EXPECT_TRUE(result.at("message").is_null());
        EXPECT_EQ(patch.compileSourceOfType("expression"), result);
        EXPECT_EQ(patch.parameterList()->count(), 0u) << "compiling empties the list until the next execution";
    }
}

TEST_F(FreeFrameTest, EveryExecutionPublishesANewEqualParameterList) {
    step();
    const auto first = patch.parameterList();
    ASSERT_EQ(first->count(), 1u);
    EXPECT_EQ(first->keyAtIndex(0), "inputHi");
    EXPECT_EQ(first->objectAtIndex(0), QCParameterInfo::infoWithType(3, 1));
    step();
    EXPECT_NE(patch.parameterList(), first);
    EXPECT_EQ(*patch.parameterList(), *first);

    // The host made a number port of the published parameter, kept across
    // recompiling.
    QCPort* port = patch.portNamed("inputHi");
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->kind(), QCPortKind::Number);
    EXPECT_TRUE(port->isInput());
    patch.setSource("y", "expression");
    step();
    EXPECT_EQ(patch.portNamed("inputHi"), port);
    size_t count = 0;
    for (const QCPort* p : patch.ports()) count += p->name() == "inputHi";
    EXPECT_EQ(count, 1u);
}

TEST_F(FreeFrameTest, AQuotedNameFollowsTheFirstSourceOnly) {
    patch.userInfo()["name"] = "\"Untitled\"";
    patch.setSource("x + 1", "expression");
    EXPECT_EQ(name(), "x + 1");
    EXPECT_EQ(seen, (std::vector{N::NotificationsPaused, N::NotificationsResumed, N::StateUpdated}));

    seen.clear();
    patch.setSource("y", "expression");
    EXPECT_EQ(name(), "x + 1");
    EXPECT_EQ(patch.sourceOfType("expression"), "y");
    EXPECT_EQ(seen, (std::vector{N::NotificationsPaused, N::NotificationsResumed}));

    // A source that is itself quoted keeps the name following.
    patch.userInfo()["name"] = "\"";
    patch.setSource("\"quoted\"", "expression");
    EXPECT_EQ(name(), "\"quoted\"");
    patch.setSource("z", "expression");
    EXPECT_EQ(name(), "z");
}

TEST_F(FreeFrameTest, OtherNamesStayAndNotificationsAreStillPausedAndResumed) {
    for (const std::string fixed : {"Wave", "", "\"half", "half\""}) {
        patch.userInfo()["name"] = fixed;
        seen.clear();
        patch.setSource("x + 1", "expression");
        EXPECT_EQ(name(), fixed);
        EXPECT_EQ(seen, (std::vector{N::NotificationsPaused, N::NotificationsResumed})) << fixed;
    }
    patch.userInfo().erase("name");
    seen.clear();
    patch.setSource("x", "expression");
    EXPECT_FALSE(patch.userInfo().contains("name"));
    EXPECT_EQ(seen.size(), 2u);
}

TEST(FreeFrameInTembra, ListShowsTheSixUnusedOutputs) {
    const CommandResult listed = runCommand(tembraProgram() + " --log none list");
    ASSERT_EQ(listed.status, 0) << listed.err;
    // The class line, then its indented port lines.
    const size_t at = listed.out.find("\nFreeFrame  (execution mode 2");
    ASSERT_NE(at, std::string::npos) << listed.out;
    size_t end = at + 1;
    do end = listed.out.find('\n', end + 1);
    while (end != std::string::npos && listed.out.compare(end + 1, 4, "    ") == 0);
    const std::string section = listed.out.substr(at + 1, end == std::string::npos ? std::string::npos : end - at);
    const std::string unused = "  declared for compatibility; never set\n";
    const std::string expected =
        "FreeFrame  (execution mode 2 provider, time mode 0)  A programmable patch with one source type, "
        "\"expression\"; it publishes the parameter inputHi.\n"
        "    out outputCurrentDirectory : string = \"\"" + unused +
        "    out outputDocumentDisplayName : string = \"\"" + unused +
        "    out outputDocumentModificationDate : string = \"\"" + unused +
        "    out outputDocumentFileName : string = \"\"" + unused +
        "    out outputDocumentFileURL : string = \"\"" + unused +
        "    out outputDocumentIsEdited : boolean = false" + unused;
    EXPECT_EQ(section, expected);
}

}  // namespace
