#include "patches/text/TembraDocumentInfo.h"
#include "platform/foundation/NSDocumentController.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <utime.h>

#include <filesystem>

namespace {

class DocumentInfo : public ::testing::Test {
protected:
    void SetUp() override { patch.setup(nullptr); }
    void TearDown() override {
        for (const auto& document : controller.documents()) controller.removeDocument(document);
    }
    std::shared_ptr<NSDocument> open(const std::string& name, time_t modified = 1500000000) {
        const std::string path = dir.write(name, "{}");
        const utimbuf times{modified, modified};
        EXPECT_EQ(::utime(path.c_str(), &times), 0);
        auto document = NSDocument::documentWithContentsOfFile(path);
        controller.addDocument(document);
        return document;
    }
    void step() { EXPECT_TRUE(patch.execute(nullptr, 0.0, nullptr)); }
    static std::string text(const QCStringPort& port) { return port.stringValue() ? *port.stringValue() : "(null)"; }

    NSDocumentController& controller = NSDocumentController::sharedDocumentController();
    TempDir dir;
    TembraDocumentInfo patch{"info"};
};

TEST_F(DocumentInfo, WithoutADocumentOnlyTheDirectoryChanges) {
    ASSERT_TRUE(controller.documents().empty());
    step();
    EXPECT_EQ(text(patch.outputCurrentDirectory), std::filesystem::current_path().string());
    for (const QCPort* port : patch.ports()) {
        if (port == &patch.outputCurrentDirectory) continue;
        EXPECT_EQ(port->generation(), 0u) << port->name();
    }
}

TEST_F(DocumentInfo, TheFirstOpenDocumentIsReported) {
    const auto first = open("first comp.json");
    const auto second = open("second.json", 1600000000);
    second->setDocumentEdited(true);
    step();

    EXPECT_EQ(text(patch.outputCurrentDirectory), dir.path().string());
    EXPECT_EQ(text(patch.outputDocumentDisplayName), "first comp");
    EXPECT_EQ(text(patch.outputDocumentModificationDate), "2017-07-14 02:40:00 +0000");
    EXPECT_EQ(text(patch.outputDocumentFileName), (dir.path() / "first comp.json").string());
    EXPECT_EQ(text(patch.outputDocumentFileURL), "file://" + dir.path().string() + "/first%20comp.json");
    EXPECT_FALSE(patch.outputDocumentIsEdited.booleanValue());

    // Facts are read afresh on every execution.
    first->setDocumentEdited(true);
    step();
    EXPECT_TRUE(patch.outputDocumentIsEdited.booleanValue());
}

TEST_F(DocumentInfo, ANeverSavedDocumentHasNoDatePathOrURL) {
    open("saved.json");
    step();
    for (const auto& document : controller.documents()) controller.removeDocument(document);
    const auto untitled = NSDocument::untitledDocument();
    untitled->setDocumentEdited(true);
    controller.addDocument(untitled);
    step();

    EXPECT_EQ(text(patch.outputDocumentDisplayName), "Untitled");
    EXPECT_EQ(patch.outputDocumentModificationDate.stringValue(), nullptr);
    EXPECT_EQ(patch.outputDocumentFileName.stringValue(), nullptr);
    EXPECT_EQ(patch.outputDocumentFileURL.stringValue(), nullptr);
    EXPECT_TRUE(patch.outputDocumentIsEdited.booleanValue());
    EXPECT_EQ(text(patch.outputCurrentDirectory), std::filesystem::current_path().string());
}

TEST_F(DocumentInfo, ClosingTheLastDocumentKeepsItsFacts) {
    const auto document = open("kept.json");
    document->setDocumentEdited(true);
    step();
    const StringRef name = patch.outputDocumentDisplayName.stringValue();
    const StringRef date = patch.outputDocumentModificationDate.stringValue();
    const StringRef path = patch.outputDocumentFileName.stringValue();
    const StringRef url = patch.outputDocumentFileURL.stringValue();

    controller.removeDocument(document);
    step();
    EXPECT_EQ(patch.outputDocumentDisplayName.stringValue(), name);
    EXPECT_EQ(patch.outputDocumentModificationDate.stringValue(), date);
    EXPECT_EQ(patch.outputDocumentFileName.stringValue(), path);
    EXPECT_EQ(patch.outputDocumentFileURL.stringValue(), url);
    EXPECT_TRUE(patch.outputDocumentIsEdited.booleanValue());
    EXPECT_EQ(text(patch.outputCurrentDirectory), std::filesystem::current_path().string());
}

// The command-line host opens the composition it runs as the first document.
TEST(DocumentInfoInTembra, TheRunCompositionIsTheDocumentAndSetValuesAreUnsaved) {
    TempDir dir;
    dir.write("tiny.txt", "hello\n");
    const std::string composition = dir.write("my info.json", R"({"patches": [
        {"id": "info", "class": "TembraDocumentInfo"},
        {"id": "type", "class": "TembraFileType"}]})");
    auto watch = [&](const std::string& endpoint, const std::string& more = "") {
        const CommandResult run = runCommand(tembraProgram() + " --log none run '" + composition +
                                             "' --frames 1 --watch " + endpoint + more);
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    };
    EXPECT_EQ(watch("info.outputDocumentDisplayName"), "frame 0 t=0.000 info.outputDocumentDisplayName = \"my info\"\n");
    EXPECT_EQ(watch("info.outputCurrentDirectory"),
              "frame 0 t=0.000 info.outputCurrentDirectory = \"" + dir.path().string() + "\"\n");
    EXPECT_EQ(watch("info.outputDocumentIsEdited"), "frame 0 t=0.000 info.outputDocumentIsEdited = false\n");

    const std::string set = " --set 'type.inputFilePath=file://" + dir.path().string() + "/tiny.txt'";
    EXPECT_EQ(watch("info.outputDocumentIsEdited", set), "frame 0 t=0.000 info.outputDocumentIsEdited = true\n");
    EXPECT_EQ(watch("type.outputUTI", set), "frame 0 t=0.000 type.outputUTI = \"public.plain-text\"\n");
}

}  // namespace
