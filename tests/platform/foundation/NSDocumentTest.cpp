#include "platform/foundation/NSDocumentController.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(NSDate, DescriptionIsTheUTCTextForm) {
    EXPECT_EQ(NSDate::dateWithTimeIntervalSince1970(0).description(), "1970-01-01 00:00:00 +0000");
    EXPECT_EQ(NSDate::dateWithTimeIntervalSince1970(1700000000).description(), "2023-11-14 22:13:20 +0000");
    EXPECT_EQ(NSDate::dateWithTimeIntervalSince1970(-1).description(), "1969-12-31 23:59:59 +0000");
    EXPECT_EQ(NSDate::dateWithTimeIntervalSince1970(951782400).description(), "2000-02-29 00:00:00 +0000");
}

// The facts a document reports are checked through the document-info patch;
// here, how a relative path becomes the document's file name.
TEST(NSDocument, ADocumentOpenedByARelativePathNamesItsFileAbsolutely) {
    TempDir dir;
    const std::string path = dir.write("comp.json", "{}");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path().parent_path());
    const auto document = NSDocument::documentWithContentsOfFile(dir.path().filename().string() + "/./comp.json");
    std::filesystem::current_path(previous);
    EXPECT_EQ(document->fileName(), path);
    EXPECT_EQ(document->fileURL()->absoluteString(), "file://" + path);
}

TEST(NSDocumentController, KeepsDocumentsInOpeningOrderAndProposesTheFirstOnesFolder) {
    TempDir dir;
    NSDocumentController& controller = NSDocumentController::sharedDocumentController();
    ASSERT_TRUE(controller.documents().empty());
    EXPECT_EQ(controller.currentDirectory(), std::filesystem::current_path().string());

    std::filesystem::create_directory(dir.path() / "sub");
    const auto first = NSDocument::documentWithContentsOfFile(dir.write("sub/first.json", "{}"));
    const auto second = NSDocument::documentWithContentsOfFile(dir.write("second.json", "{}"));
    controller.addDocument(first);
    controller.addDocument(second);
    controller.addDocument(first);  // already open: stays where it is
    EXPECT_EQ(controller.documents(), (std::vector{first, second}));
    EXPECT_EQ(controller.currentDirectory(), (dir.path() / "sub").string());

    controller.removeDocument(first);
    EXPECT_EQ(controller.currentDirectory(), dir.path().string());
    controller.removeDocument(second);
    EXPECT_TRUE(controller.documents().empty());

    const auto untitled = NSDocument::untitledDocument();
    controller.addDocument(untitled);
    EXPECT_EQ(controller.currentDirectory(), std::filesystem::current_path().string());
    controller.removeDocument(untitled);
}

}  // namespace
